// The SMTP client against the tests' aiosmtpd server on 127.0.0.1: the wall
// time of sending a 1 MB encrypted-looking block (one line, so it goes as
// quoted-printable), and the processor time the client uses while a server
// stays silent for 2 s (a wait must sleep, not spin). Prints one line per
// measurement.

#include "mail/smtpclient.h"
#include "tests/mail/mailserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using mail::SmtpClient;
using testsupport::MailServer;

namespace {

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QString block(qsizetype size)
{
    QRandomGenerator random(1);
    QString text = QStringLiteral("[Encrypted_By_Velmorandquist][Begin_Encryption]");
    text.reserve(size);
    while (text.size() < size - 16)
        text += QLatin1Char(char(33 + random.bounded(94)));
    return text + QStringLiteral("[End_Encryption]");
}

void prepare(SmtpClient &client, const MailServer &server, const QStringList &body)
{
    client.setServer(server.server());
    client.setFromAddress(QStringLiteral("me@sender.example"));
    client.setToAddress({QStringLiteral("you@example.org")});
    client.setSubject(QStringLiteral("Bench"));
    client.setBody(body);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        {
            MailServer server;
            SmtpClient client;
            prepare(client, server, {block(1024 * 1024)});
            std::vector<double> wall, cpu;
            for (int i = 0; i < 5; ++i) {
                QElapsedTimer t;
                t.start();
                const double c = cpuSeconds();
                client.connectToHost();
                client.sendMail();
                client.disconnectFromHost();
                wall.push_back(double(t.nsecsElapsed()) / 1e6);
                cpu.push_back((cpuSeconds() - c) * 1e3);
            }
            if (server.messages().size() != 5
                || server.messages().last()[QStringLiteral("body")].toString().size() < 1024 * 1024)
                throw std::runtime_error("the server did not store the five mails whole");
            std::sort(wall.begin(), wall.end());
            std::sort(cpu.begin(), cpu.end());
            std::printf("send 1 MB block, connect to QUIT: wall median %.1f ms (min %.1f), client "
                        "CPU median %.1f ms, 5 runs\n",
                wall[2], wall[0], cpu[2]);
        }
        {
            MailServer server({QStringLiteral("--silent-data")});
            SmtpClient client;
            prepare(client, server, {QStringLiteral("Hello.")});
            const std::chrono::milliseconds limit(2000);
            client.setTimeOuts({limit, limit, limit, limit, limit, limit, limit});
            client.connectToHost();
            QElapsedTimer t;
            t.start();
            const double c = cpuSeconds();
            try {
                client.sendMail();
            } catch (const mail::SocketError &e) {
                std::printf("silent server: %s after %.0f ms of wall time, client CPU %.1f ms\n",
                    e.what(), double(t.elapsed()), (cpuSeconds() - c) * 1e3);
            }
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_mail: %s\n", e.what());
        return 1;
    }
    return 0;
}
