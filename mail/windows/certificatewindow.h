#pragma once

// A mail server's certificate that the system does not trust: who it names,
// who signed it, how long it is valid, its SHA-256 fingerprint and why it is
// not trusted; the user may trust it for that one server. When another
// certificate was trusted for the server it only shows both fingerprints and
// refuses.

#include <QDialog>

class QSslCertificate;

namespace mail::windows {

class CertificateWindow : public QDialog
{
    Q_OBJECT
public:
    // server: "host:port"; trusted: the fingerprint trusted for it before,
    // empty when none was.
    CertificateWindow(const QSslCertificate &certificate, const QStringList &reasons,
        const QString &server, const QString &trusted, QWidget *parent = nullptr);
};

} // namespace mail::windows
