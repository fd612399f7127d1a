#include "xmltv/xmltv_source.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "fetch/http_fetch.h"
#include "fetch/wide_text.h"

namespace {

constexpr DWORD PieceSize = 64 * 1024;

bool IsWebAddress(const std::string& address)
{
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

// A document being read: fed on the reading thread, its records taken on the
// worker, under the lock.
struct Reading {
    std::mutex Lock;
    XmltvReader Reader;
    // What went wrong while getting the bytes or reading them; "" while nothing did.
    char Problem[160] = "";
    explicit Reading(const XmltvRequest& request) : Reader(request, Cp932()) {}

    // False once the document is broken: reading stops.
    bool Feed(const char* bytes, size_t length)
    {
        std::lock_guard<std::mutex> hold(Lock);
        return Reader.Feed(bytes, length);
    }
};

void ReadFromWeb(const std::string& address, Reading& reading, RequestGate* gate)
{
    char host[256] = "";
    char path[2048] = "";
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (!InternetCrackUrlA(address.c_str(), 0, 0, &parts)) {
        std::strcpy(reading.Problem, "アドレスの形が正しくありません。");
        return;
    }
    HttpGet get(gate);
    if (!get.Send(host, parts.nPort, path[0] ? path : "/", parts.nScheme == INTERNET_SCHEME_HTTPS, true)) {
        std::strcpy(reading.Problem, "サーバーにつながりませんでした。");
        return;
    }
    const DWORD status = get.Header(HTTP_QUERY_STATUS_CODE, 0);
    if (status != 200) {
        std::snprintf(reading.Problem, sizeof reading.Problem, "サーバーの答えは %lu でした。",
                      static_cast<unsigned long>(status));
        return;
    }
    std::unique_ptr<char[]> piece(new char[PieceSize]);
    for (;;) {
        DWORD read = 0;
        if (!get.Read(piece.get(), PieceSize, &read)) {
            std::strcpy(reading.Problem, "受信が途中で途切れました。");
            return;
        }
        if (read == 0 || !reading.Feed(piece.get(), read))
            return;
    }
}

void ReadFromFile(const std::string& path, Reading& reading, const std::atomic<bool>& stop)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::strcpy(reading.Problem, "ファイルを開けませんでした。");
        return;
    }
    std::unique_ptr<char[]> piece(new char[PieceSize]);
    DWORD read = 0;
    while (!stop && ReadFile(file, piece.get(), PieceSize, &read, nullptr) && read > 0 &&
           reading.Feed(piece.get(), read)) {
    }
    CloseHandle(file);
}

// What the message box says of a fault the reader found.
const struct {
    XmltvFaultKind Kind;
    const char* Text;
} FaultTexts[] = {
    {XmltvFaultKind::BadChoice, "選んだ日時かジャンルが一覧にありません。"},
    {XmltvFaultKind::NotXml, "XMLTV の文書ではありません。"},
    {XmltvFaultKind::Syntax, "XML の書き方が壊れています。"},
    {XmltvFaultKind::BrokenOff, "文書が途中で終わっています。"},
    {XmltvFaultKind::Encoding, "文書の文字コードを読めません。"},
    {XmltvFaultKind::TooLarge, "文書の入れ子か実体が大きすぎます。"},
};

const char* FaultText(const XmltvFault& fault)
{
    for (const auto& entry : FaultTexts)
        if (entry.Kind == fault.Kind)
            return entry.Text;
    return "";
}

class XmltvSource final : public RetrievalSource {
public:
    explicit XmltvSource(const XmltvSettings& settings) : Settings(settings) {}
    void Walk(RetrievalRun& run) override;

private:
    XmltvSettings Settings;
};

void XmltvSource::Walk(RetrievalRun& run)
{
    // The reading thread owns the reading: a stop may leave it to end by itself.
    auto reading = std::make_shared<Reading>(Settings.Request);
    const bool ended = run.Await([reading, address = Settings.Address, gate = run.Requests()] {
        if (IsWebAddress(address))
            ReadFromWeb(address, *reading, gate.get());
        else
            ReadFromFile(address, *reading, AbortFlag);
        if (!reading->Problem[0] && !AbortFlag) {
            std::lock_guard<std::mutex> hold(reading->Lock);
            if (!reading->Reader.Finish())
                std::strcpy(reading->Problem, FaultText(reading->Reader.Fault()));
        }
    });

    // What was read before a fault or a stop is kept.
    {
        std::lock_guard<std::mutex> hold(reading->Lock);
        reading->Reader.ForEachRecord([&run](const TELOMI& taken) {
            if (TELOMI* record = run.Append()) {
                *record = taken;
                run.Complete();
            }
        });
    }
    if (ended && reading->Problem[0]) {
        char text[512];
        // A long address is cut on a character boundary.
        const std::string& address = Settings.Address;
        std::snprintf(text, sizeof text, "%.*s を読めませんでした。\n%s",
                      static_cast<int>(Cp932FitLength(address.c_str(), address.size(), 300)), address.c_str(),
                      reading->Problem);
        run.ReportFailure(text);
    }
}

} // namespace

std::unique_ptr<RetrievalSource> MakeXmltvSource(const XmltvSettings& settings)
{
    return std::make_unique<XmltvSource>(settings);
}
