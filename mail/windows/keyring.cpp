#include "mail/windows/keyring.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace mail::windows {

namespace {

const QString kService = QStringLiteral("Velmorandquist");
// A keyring that does not answer by then is taken for none.
constexpr int kWaitMs = 10000;

// The keyring of the desktop session, through its secret service.
class DesktopKeyring : public Keyring
{
public:
    Lookup read(const QString &key) override
    {
        QKeychain::ReadPasswordJob job(kService);
        job.setKey(key);
        Lookup lookup;
        if (!run(job)) {
            lookup.whyNot = m_why;
        } else if (job.error() == QKeychain::NoError) {
            lookup.answered = true;
            lookup.password = job.textData();
        } else if (job.error() == QKeychain::EntryNotFound) {
            lookup.answered = true;
        } else {
            lookup.whyNot = job.errorString();
        }
        return lookup;
    }

    QString write(const QString &key, const QString &password) override
    {
        QKeychain::WritePasswordJob job(kService);
        job.setKey(key);
        job.setTextData(password);
        if (!run(job))
            return m_why;
        return job.error() == QKeychain::NoError ? QString() : job.errorString();
    }

    void remove(const QString &key) override
    {
        QKeychain::DeletePasswordJob job(kService);
        job.setKey(key);
        run(job);
    }

    void cancel() override
    {
        m_why = QStringLiteral("the send was cancelled");
        if (m_loop)
            m_loop->quit();
    }

private:
    // Runs the job to its end, or to the time limit or a cancel, keeping the
    // windows alive meanwhile; false when it did not finish.
    bool run(QKeychain::Job &job)
    {
        job.setAutoDelete(false);
        QEventLoop loop;
        bool finished = false;
        QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        m_why = QStringLiteral("no keyring answered within %1 seconds").arg(kWaitMs / 1000);
        job.start();
        if (!finished) {
            QPointer<QEventLoop> outer = std::exchange(m_loop, &loop);
            loop.exec();
            m_loop = outer;
        }
        return finished;
    }

    QPointer<QEventLoop> m_loop;
    QString m_why;
};

Keyring *g_installed = nullptr;

} // namespace

Keyring::~Keyring() = default;

Keyring &keyring()
{
    static DesktopKeyring desktop;
    return g_installed ? *g_installed : desktop;
}

void installKeyring(Keyring *keyring)
{
    g_installed = keyring;
}

} // namespace mail::windows
