// Throughput of the HTTP client against lighttpd on loopback, with curl as the reference:
// many small GETs one after another, then one large body. Prints figures; asserts nothing.
#include "net/GrowingString.h"
#include "net/NMHttp.h"
#include "tests/fixtures/ScriptServer.h"
#include "tests/fixtures/WebServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using testing_support::WebServer;

namespace {

double Milliseconds(const std::function<void()>& work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void Curl(const std::string& arguments)
{
    const std::string command = "curl --silent --show-error --http1.0 -H 'Connection: close' " + arguments;
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "curl failed: %s\n", command.c_str());
}

// What filling a fresh buffer of `bytes` costs by itself here, in chunks of the socket layer's
// size and without any network: reserved at once on ordinary pages, or grown as a capture in
// memory grows its text.
double FreshFill(std::size_t bytes, bool asCapture)
{
    return Milliseconds([&] {
        std::string buffer;
        const std::string chunk(16383, 'L');
        if (!asCapture)
            buffer.reserve(bytes);
        while (buffer.size() < bytes) {
            if (asCapture)
                net::AppendGrowing(buffer, chunk);
            else
                buffer.append(chunk);
        }
    });
}

struct Figure {
    double median = 0;
    double best = 0;
};

// The two clients take turns, so that a load that comes and goes hits both alike. Prints both
// figures and their ratio with its target (if it has one), and returns ours.
Figure Compare(const std::string& what, int rounds, const std::function<void()>& ours,
    const std::function<void()>& curl, double target, const char* reference = "curl")
{
    std::vector<double> a;
    std::vector<double> b;
    for (int i = 0; i < rounds; ++i) {
        a.push_back(Milliseconds(ours));
        b.push_back(Milliseconds(curl));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    const double medianA = a[a.size() / 2];
    const double medianB = b[b.size() / 2];
    std::printf("%-44s TNMHTTP %8.1f ms (best %8.1f)   %s %8.1f ms (best %8.1f)   ratio %5.2f (best %5.2f)",
        what.c_str(), medianA, a.front(), reference, medianB, b.front(), medianA / medianB, a.front() / b.front());
    if (target > 0)
        std::printf(" target <= %.1f", target);
    std::printf("\n");
    return { medianA, a.front() };
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int gets = argc > 1 ? std::atoi(argv[1]) : 500;
    const std::size_t bigMiB = argc > 2 ? static_cast<std::size_t>(std::atoi(argv[2])) : 256;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;

    WebServer web;
    if (!web.running()) {
        std::fprintf(stderr, "lighttpd did not start:\n%s\n", web.errorLog().c_str());
        return 1;
    }
    {
        std::ofstream large(web.documentRoot() + "/large.bin", std::ios::binary);
        const std::string block(std::size_t { 1024 } * 1024, 'L');
        for (std::size_t i = 0; i < bigMiB; ++i)
            large.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const std::string page = web.url("/index.html");
    const std::string large = web.url("/large.bin");
    const std::string urlList = web.documentRoot() + "/../curl-urls.txt";
    {
        std::ofstream list(urlList);
        for (int i = 0; i < gets; ++i)
            list << "url = \"" << page << "\"\noutput = \"/dev/null\"\n";
    }
    std::printf("lighttpd on 127.0.0.1:%u; %d GETs of a %zu-byte page; one body of %zu MiB; %d rounds, median\n",
        web.port(), gets, WebServer::PageContent().size(), bigMiB, rounds);

    bool wrong = false;
    Compare(
        std::to_string(gets) + " sequential GETs of a small page", rounds,
        [&] {
            // A fresh component per request, as the mail checker uses them.
            for (int i = 0; i < gets; ++i) {
                net::TNMHTTP http(nullptr);
                http.ReportLevel = 2;
                http.Get(page);
                wrong = wrong || http.Body != WebServer::PageContent();
            }
        },
        [&] { Curl("--config " + urlList); }, 1.5);

    Compare(
        std::to_string(bigMiB) + " MiB body into a file (/dev/null)", rounds,
        [&] {
            net::TNMHTTP http(nullptr);
            http.InputFileMode = true;
            http.Body = "/dev/null";
            http.Get(large);
            wrong = wrong || http.ReplyNumber != 200;
        },
        [&] { Curl("-o /dev/null " + large); }, 1.2);

    // Holding the body in memory is measured against filling a fresh string of its size.
    const std::size_t bigBytes = bigMiB * 1024 * 1024;
    const double fill = FreshFill(bigBytes, false);
    const Figure inMemory = Compare(
        std::to_string(bigMiB) + " MiB body into memory", rounds,
        [&] {
            net::TNMHTTP http(nullptr);
            http.MaxBodySize = 0;
            http.Get(large);
            wrong = wrong || http.Body.size() != bigBytes;
        },
        [&] { Curl("-o /dev/null " + large); }, 2.0);
    const double grown = FreshFill(bigBytes, true);
    std::printf("%-44s %8.1f ms (no network, ordinary pages: what first touching that much memory costs here)\n",
        (std::to_string(bigMiB) + " MiB filled into a fresh string").c_str(), fill);
    std::printf("  body into memory / fresh string: ratio %5.2f (best %5.2f, target <= 1.3)\n", inMemory.median / fill,
        inMemory.best / fill);
    std::printf("%-44s %8.1f ms (no network, grown as a capture grows, on large pages where there are any)\n",
        (std::to_string(bigMiB) + " MiB grown into a fresh string").c_str(), grown);

    // A header of two-byte lines just below the header limit, against the same bytes as a body:
    // reading lines must cost in proportion to the bytes, like the body capture does.
    {
        using testing_support::ScriptServer;
        std::string lines;
        while (lines.size() + 2 < 4 * 1024 * 1024 - 64)
            lines += "a\n";
        const std::string manyLines = "HTTP/1.0 200 OK\r\n" + lines + "\r\nok";
        const std::string asBody = "HTTP/1.0 200 OK\r\n\r\n" + lines;
        ScriptServer server;
        for (int i = 0; i < rounds; ++i) {
            server.AddConnection(
                { ScriptServer::ReceiveRequest(), ScriptServer::Send(manyLines), ScriptServer::Close() });
            server.AddConnection({ ScriptServer::ReceiveRequest(), ScriptServer::Send(asBody), ScriptServer::Close() });
        }
        Compare(
            "4 MiB header of two-byte lines (vs as body)", rounds,
            [&] {
                net::TNMHTTP http(nullptr);
                http.Get(server.url("/"));
                wrong = wrong || http.Body != "ok";
            },
            [&] {
                net::TNMHTTP http(nullptr);
                http.Get(server.url("/"));
                wrong = wrong || http.Body != lines;
            },
            0, "as body");
    }

    if (wrong)
        std::fprintf(stderr, "some replies were not what the server holds\n");
    return wrong ? 1 : 0;
}
