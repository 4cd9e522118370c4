#include "mail/windows/keyring.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace mail::windows {

namespace {

const QString kService = QStringLiteral("Velmorandquist");
// A keyring that does not answer by then is taken for none.
constexpr int kWaitMs = 10000;

// Runs the job to its end, keeping the windows alive meanwhile.
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
    job.start();
    if (!finished)
        loop.exec();
    return finished && job.error() == QKeychain::NoError;
}

} // namespace

std::optional<QString> Keyring::read(const QString &key)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    if (!run(job))
        return std::nullopt;
    return job.textData();
}

bool Keyring::write(const QString &key, const QString &password)
{
    QKeychain::WritePasswordJob job(kService);
    job.setKey(key);
    job.setTextData(password);
    return run(job);
}

void Keyring::remove(const QString &key)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(key);
    run(job);
}

} // namespace mail::windows
