// OpenPGP for a password through the encryption service: encrypting and
// decrypting 1 MB, the first time (GnuPG's agent starts) and later, in a
// GnuPG home of its own, so the user's agent and keys are not touched.

#include "cipher/service.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace service = cipher::service;

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

cipher::Bytes sampleText(std::size_t size)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> printable(32, 126);
    cipher::Bytes text(size, ' ');
    for (char &c : text)
        c = static_cast<char>(printable(random));
    return text;
}

} // namespace

int main()
{
    char home[] = "/tmp/vlqb.XXXXXX";
    if (!::mkdtemp(home) || ::setenv("GNUPGHOME", home, 1) != 0) {
        std::perror("GNUPGHOME");
        return 1;
    }
    const cipher::Bytes plain = sampleText(1 << 20);
    const cipher::Bytes password = "Sesame, open up at last!";
    constexpr int kLater = 5;
    std::vector<double> encrypts, decrypts;
    int failures = 0;
    for (int round = 0; round <= kLater; ++round) {
        cipher::Bytes text = plain;
        Clock::time_point start = Clock::now();
        failures += !service::encrypt(text, service::kOpenPgpPassword, password, password).replaced;
        encrypts.push_back(since(start));
        start = Clock::now();
        failures += !service::decrypt(text, password).replaced;
        decrypts.push_back(since(start));
        failures += text != plain;
    }
    const auto report = [](const char *what, std::vector<double> times) {
        const double first = times.front();
        times.erase(times.begin());
        std::sort(times.begin(), times.end());
        std::printf("%-26s first %7.1f ms   later (median of %zu) %7.1f ms\n", what, first,
            times.size(), times[times.size() / 2]);
    };
    report("OpenPGP password encrypt", encrypts);
    report("OpenPGP password decrypt", decrypts);
    if (std::system("gpgconf --kill all") != 0)
        std::printf("gpgconf --kill all failed\n");
    std::filesystem::remove_all(home);
    if (failures)
        std::printf("%d round trips failed\n", failures);
    return failures ? 1 : 0;
}
