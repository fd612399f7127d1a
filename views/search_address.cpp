#include "views/search_address.h"

const char* const SearchEnginePrefix = "https://www.google.co.jp/search?hl=ja&q=";
// The page name 特別 in UTF-8, percent-encoded.
const char* const EncyclopediaPrefix = "https://ja.wikipedia.org/wiki/%E7%89%B9%E5%88%A5:Search?search=";

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
        || c == '-' || c == '.' || c == '_' || c == '~';
}

} // namespace

std::string PercentEncode(const std::string& utf8)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size() * 3);
    for (unsigned char c : utf8) {
        if (IsUnreserved(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += Hex[c >> 4];
            encoded += Hex[c & 0x0F];
        }
    }
    return encoded;
}

std::string BuildSearchAddress(const char* prefix, const std::string& utf8Selection)
{
    return std::string(prefix) + PercentEncode(utf8Selection);
}
