#include "app/ini_text.h"

#include <algorithm>
#include <climits>

namespace {

constexpr size_t None = std::string_view::npos;

// A line's bytes are [Start, End); its line end, CRLF or LF, runs to Next.
struct Line {
    size_t Start, End, Next;
};

Line LineAt(std::string_view text, size_t start)
{
    const size_t feed = text.find('\n', start);
    if (feed == None)
        return {start, text.size(), text.size()};
    return {start, feed > start && text[feed - 1] == '\r' ? feed - 1 : feed, feed + 1};
}

std::string_view Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == None)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameName(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(x) == lower(y);
           });
}

// The name a section header gives, nothing for any other line. Only the line's
// start counts: a double-byte character's second byte can be '[' or ']'.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = Trim(line);
    if (line.empty() || line[0] != '[')
        return std::nullopt;
    return Trim(line.substr(1, line.rfind(']') - 1));
}

// The key of a key=value line, empty without '=', which is never a second
// byte. A comment's key starts with ';', as no setting's does.
std::string_view KeyName(std::string_view line)
{
    const size_t equals = line.find('=');
    return equals == None ? std::string_view() : Trim(line.substr(0, equals));
}

struct Place {
    size_t SectionEnd = None; // after the section's last line that is not blank; None: no section
    std::optional<Line> Key;
};

Place Find(std::string_view text, std::string_view section, std::string_view key)
{
    Place place;
    bool inside = false;
    for (size_t at = 0; at < text.size();) {
        const Line line = LineAt(text, at);
        at = line.Next;
        const std::string_view bytes = text.substr(line.Start, line.End - line.Start);
        if (const auto name = SectionName(bytes)) {
            if (inside)
                break; // a repeated section is not read, as with the profile functions
            inside = SameName(*name, section);
            place.SectionEnd = inside ? line.Next : place.SectionEnd;
        } else if (inside) {
            place.SectionEnd = Trim(bytes).empty() ? place.SectionEnd : line.Next;
            if (!place.Key && SameName(KeyName(bytes), key))
                place.Key = line;
        }
    }
    return place;
}

} // namespace

std::string_view IniValue(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view fallback)
{
    const Place place = Find(text, section, key);
    if (!place.Key)
        return fallback;
    const std::string_view line = text.substr(place.Key->Start, place.Key->End - place.Key->Start);
    const std::string_view value = Trim(line.substr(line.find('=') + 1));
    const bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
    return quoted ? value.substr(1, value.size() - 2) : value;
}

int IniNumber(std::string_view text, std::string_view section, std::string_view key, int fallback)
{
    const std::string_view value = IniValue(text, section, key, "");
    auto digit = [&](size_t at) { return at < value.size() && value[at] >= '0' && value[at] <= '9'; };
    const size_t first = !value.empty() && (value[0] == '-' || value[0] == '+') ? 1 : 0;
    if (!digit(first))
        return fallback;
    long long number = 0;
    for (size_t at = first; digit(at); ++at)
        number = std::min(number * 10 + (value[at] - '0'), 1LL << 32);
    return static_cast<int>(std::clamp(value[0] == '-' ? -number : number, 0LL + INT_MIN, 0LL + INT_MAX));
}

std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::optional<std::string_view> value)
{
    const Place place = Find(text, section, key);
    std::string out(text);
    const std::string line = std::string(key) + "=" + std::string(value.value_or(""));
    if (place.Key && value)
        return out.replace(place.Key->Start, place.Key->End - place.Key->Start, line);
    if (place.Key)
        return out.erase(place.Key->Start, place.Key->Next - place.Key->Start);
    if (!value)
        return out;
    if (place.SectionEnd == None) {
        if (!out.empty() && out.back() != '\n')
            out += "\r\n";
        return out + "[" + std::string(section) + "]\r\n" + line + "\r\n";
    }
    // The section's last line may end the file without a line end.
    return out.insert(place.SectionEnd, (text[place.SectionEnd - 1] == '\n' ? "" : "\r\n") + line + "\r\n");
}
