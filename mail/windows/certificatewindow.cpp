#include "mail/windows/certificatewindow.h"

#include "mail/socket.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSslCertificate>
#include <QVBoxLayout>

namespace mail::windows {

namespace {

QString names(const QSslCertificate &certificate, bool issuer)
{
    const QStringList parts = issuer ? certificate.issuerDisplayName().split(QLatin1Char('\n'))
                                     : certificate.subjectDisplayName().split(QLatin1Char('\n'));
    QString text = parts.join(QStringLiteral(", "));
    if (!issuer) {
        // The names it is valid for, as a mail program checks them.
        QStringList alternatives;
        const auto all = certificate.subjectAlternativeNames();
        for (auto it = all.cbegin(); it != all.cend(); ++it)
            alternatives += it.value();
        if (!alternatives.isEmpty())
            text += QStringLiteral(" (%1)").arg(alternatives.join(QStringLiteral(", ")));
    }
    return text.isEmpty() ? QStringLiteral("(none)") : text;
}

QLabel *value(const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

CertificateWindow::CertificateWindow(const QSslCertificate &certificate, const QStringList &reasons,
    const QString &server, const QString &trusted, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CertificateWindow"));
    setWindowTitle(QStringLiteral("Mail Server Certificate"));
    auto *layout = new QVBoxLayout(this);
    const QString fingerprint = Socket::fingerprintOf(certificate);
    auto *intro = new QLabel(trusted.isEmpty()
            ? QStringLiteral("The certificate of the mail server %1 is not trusted by this "
                             "system.\nTrust it only if you know it to be your server's.")
                  .arg(server)
            : QStringLiteral("The mail server %1 shows a different certificate from the one "
                             "you trusted for it.\nSomeone may be between you and the server, so "
                             "nothing is sent.")
                  .arg(server),
        this);
    intro->setObjectName(QStringLiteral("intro"));
    layout->addWidget(intro);

    auto *form = new QFormLayout;
    const QLocale locale;
    form->addRow(QStringLiteral("Issued to:"), value(names(certificate, false), "subject", this));
    form->addRow(QStringLiteral("Issued by:"), value(names(certificate, true), "issuer", this));
    form->addRow(QStringLiteral("Valid:"),
        value(
            QStringLiteral("%1 to %2")
                .arg(locale.toString(
                         certificate.effectiveDate().toLocalTime(), QLocale::ShortFormat),
                    locale.toString(certificate.expiryDate().toLocalTime(), QLocale::ShortFormat)),
            "validity", this));
    form->addRow(QStringLiteral("SHA-256:"), value(fingerprint, "fingerprint", this));
    if (!trusted.isEmpty())
        form->addRow(QStringLiteral("Trusted before:"), value(trusted, "trusted", this));
    form->addRow(QStringLiteral("Not trusted because:"),
        value(reasons.isEmpty() ? QStringLiteral("(not given)") : reasons.join(QLatin1Char('\n')),
            "reason", this));
    layout->addLayout(form);

    auto *buttons = new QDialogButtonBox(this);
    if (trusted.isEmpty()) {
        QPushButton *trust = buttons->addButton(
            QStringLiteral("&Trust It for %1").arg(server), QDialogButtonBox::AcceptRole);
        trust->setObjectName(QStringLiteral("trust"));
        trust->setAutoDefault(false);
        QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
        cancel->setObjectName(QStringLiteral("cancel"));
        cancel->setDefault(true);
    } else {
        QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
        close->setObjectName(QStringLiteral("cancel"));
        close->setDefault(true);
    }
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

} // namespace mail::windows
