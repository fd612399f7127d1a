#include "xmltv/xmltv_reader.h"

// Debian's expat and our MinGW build both have DTD support; expat.h declares
// the entity amplification limits only when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string_view>
#include <unordered_map>

#include "fetch/choices.h"
#include "xmltv/xmltv_genre.h"
#include "xmltv/xmltv_time.h"

namespace {

// A listing nests five deep at most; far deeper is an attack on memory.
constexpr int MaxDepth = 64;
// Bytes of one text kept: more than any field holds after conversion
// (a half-width kana is three UTF-8 bytes for one byte in the record).
constexpr size_t TextLimit = 4096;
// Bytes expat may hold for one unfinished token (a tag, a comment, ...).
constexpr size_t TokenLimit = 1 << 20;
constexpr size_t MaxChannels = 10000;
// Records kept: no more than the program's store can take. Starts kept
// without a record cost little, but are bounded as well.
constexpr size_t MaxRecords = ProgrammeStore::Capacity;
constexpr size_t MaxSlots = 4 * MaxRecords;

constexpr const char* Roles[] = {"director", "actor", "writer", "adapter", "producer",
                                 "composer", "editor", "presenter", "commentator", "guest"};
constexpr const char* RoleHeadings[] = {"監督", "出演", "脚本", "脚色", "製作",
                                        "音楽", "編集", "司会", "解説", "ゲスト"};
constexpr int RoleCount = static_cast<int>(std::size(Roles));

// One start on one channel; without a record it only marks where the
// programme before it ends.
struct Slot {
    std::unique_ptr<TELOMI> Record;
    bool EndKnown = false;
    int64_t End = 0;
};

struct Channel {
    std::string Id;
    std::string Name;  // code page 932
    bool Named = false;
    int Declared = -1;  // position among the <channel> elements
    std::map<int64_t, Slot> Slots;
};

// A text of the document, with the language it was given in.
struct Text {
    std::string Utf8;
    bool Have = false;
    bool Japanese = false;
};

struct Programme {
    bool Active = false;
    Channel* On = nullptr;
    std::string Start, Stop;
    Text Title, Subtitle, Desc;
    std::string Category;
    bool GenreMatches = false;
    bool InCredits = false;
    std::vector<std::string> Credits[RoleCount];
    size_t CreditBytes = 0;
};

bool IsJapanese(const XML_Char** attributes)
{
    for (int i = 0; attributes[i]; i += 2)
        if (std::strcmp(attributes[i], "lang") == 0) {
            const std::string_view lang = attributes[i + 1];
            return lang.size() >= 2 && (lang[0] | 0x20) == 'j' && (lang[1] | 0x20) == 'a' &&
                   (lang.size() == 2 || lang[2] == '-' || lang[2] == '_');
        }
    return false;
}

const XML_Char* Attribute(const XML_Char** attributes, const char* name)
{
    for (int i = 0; attributes[i]; i += 2)
        if (std::strcmp(attributes[i], name) == 0)
            return attributes[i + 1];
    return nullptr;
}

void TrimEnd(std::string& text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> known)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::string_view candidate : known)
        if (name.size() == candidate.size() &&
            std::equal(name.begin(), name.end(), candidate.begin(), [&](char a, char b) { return lower(a) == b; }))
            return true;
    return false;
}

// Shift_JIS and EUC-JP documents go through the same table as the output.
bool IsShiftJisName(std::string_view name)
{
    return IsOneOf(name, {"shift_jis", "shift-jis", "sjis", "cp932", "windows-31j", "ms_kanji", "x-sjis"});
}

bool IsEucJpName(std::string_view name)
{
    return IsOneOf(name, {"euc-jp", "eucjp", "x-euc-jp"});
}

bool InRange(unsigned char byte, unsigned low, unsigned high)
{
    return byte >= low && byte <= high;
}

// Well-formed codes the code page leaves unmapped read as U+FFFD, which
// later prints as "〓"; malformed ones stop the parse.
int XMLCALL ConvertShiftJis(void* data, const char* s)
{
    const auto lead = static_cast<unsigned char>(s[0]);
    const auto trail = static_cast<unsigned char>(s[1]);
    if (!InRange(trail, 0x40, 0xFC) || trail == 0x7F)
        return -1;
    const char16_t c = static_cast<const Cp932Codec*>(data)->Decode(lead, trail);
    return c != 0 ? c : 0xFFFD;
}

int XMLCALL ConvertEucJp(void* data, const char* s)
{
    const auto first = static_cast<unsigned char>(s[0]);
    const auto second = static_cast<unsigned char>(s[1]);
    if (first == 0x8E)  // half-width katakana
        return InRange(second, 0xA1, 0xDF) ? 0xFF61 + (second - 0xA1) : -1;
    if (first == 0x8F)  // JIS X 0212, which code page 932 lacks
        return InRange(second, 0xA1, 0xFE) && InRange(static_cast<unsigned char>(s[2]), 0xA1, 0xFE) ? 0xFFFD : -1;
    if (!InRange(second, 0xA1, 0xFE))
        return -1;
    // JIS X 0208 row and cell to the Shift_JIS code.
    const unsigned row = first - 0x80, cell = second - 0x80;
    const unsigned lead = ((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0);
    const unsigned trail = (row & 1) ? cell + (cell >= 0x60 ? 0x20 : 0x1F) : cell + 0x7E;
    const char16_t c = static_cast<const Cp932Codec*>(data)->Decode(static_cast<unsigned char>(lead),
                                                                      static_cast<unsigned char>(trail));
    return c != 0 ? c : 0xFFFD;
}

}  // namespace

struct XmltvReader::State {
    const Cp932Codec& Encoder;
    XML_Parser Parser = nullptr;
    XmltvFault Fault;
    bool Valid = false;
    ListingWindow Window{};
    bool AllGenres = false;
    int Genre = -1;
    bool ChosenOnly = false;

    std::vector<std::unique_ptr<Channel>> Channels;  // in first-seen (or chosen) order
    std::unordered_map<std::string, Channel*> ById;
    int DeclaredCount = 0;
    size_t SlotCount = 0;
    size_t RecordCount = 0;

    int Depth = 0;
    bool RootSeen = false;
    uint64_t Fed = 0;
    Channel* InChannel = nullptr;
    std::string ChannelName;
    Programme Now;
    std::string* Collect = nullptr;  // where the text of the element at CollectDepth goes
    int CollectDepth = 0;
    int CreditRole = -1;  // the role whose name is being collected

    State(const XmltvRequest& request, const Cp932Codec& encoder) : Encoder(encoder)
    {
        if (!BroadcastWindow(request.Now, request.DayAhead, request.TimeChoice, Window) ||
            request.GenreChoice < 0 || request.GenreChoice >= GenreChoiceCount) {
            Fault.Kind = XmltvFaultKind::BadChoice;
            return;
        }
        Genre = request.GenreChoice;
        AllGenres = std::strcmp(GenreChoices[Genre].Code, "all") == 0;
        ChosenOnly = !request.Channels.empty();
        for (const std::string& id : request.Channels)
            Find(id, true);
        Parser = XML_ParserCreate(nullptr);
        if (Parser == nullptr) {
            Fault.Kind = XmltvFaultKind::TooLarge;
            return;
        }
        XML_SetUserData(Parser, this);
        XML_SetElementHandler(Parser, OnStart, OnEnd);
        XML_SetCharacterDataHandler(Parser, OnText);
        XML_SetUnknownEncodingHandler(Parser, OnUnknownEncoding, this);
        // A DOCTYPE is fine, but nothing outside the document is ever read.
        XML_SetParamEntityParsing(Parser, XML_PARAM_ENTITY_PARSING_NEVER);
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
        XML_SetBillionLaughsAttackProtectionMaximumAmplification(Parser, 20.0f);
        XML_SetBillionLaughsAttackProtectionActivationThreshold(Parser, 1 << 20);
#endif
        Valid = true;
    }

    ~State()
    {
        if (Parser != nullptr)
            XML_ParserFree(Parser);
    }

    Channel* Find(const std::string& id, bool create)
    {
        auto found = ById.find(id);
        if (found != ById.end())
            return found->second;
        if (!create || Channels.size() >= MaxChannels)
            return nullptr;
        Channels.push_back(std::make_unique<Channel>());
        Channels.back()->Id = id;
        ById.emplace(id, Channels.back().get());
        return Channels.back().get();
    }

    void Stop(XmltvFaultKind kind)
    {
        if (Fault.Kind == XmltvFaultKind::None) {
            Fault.Kind = kind;
            Fault.Line = XML_GetCurrentLineNumber(Parser);
            Fault.Column = XML_GetCurrentColumnNumber(Parser);
        }
        XML_StopParser(Parser, XML_FALSE);
    }

    void Failed(bool final)
    {
        const XML_Error code = XML_GetErrorCode(Parser);
        if (Fault.Kind == XmltvFaultKind::None) {
            Fault.Line = XML_GetCurrentLineNumber(Parser);
            Fault.Column = XML_GetCurrentColumnNumber(Parser);
            Fault.Detail = XML_ErrorString(code);
            if (code == XML_ERROR_UNKNOWN_ENCODING || code == XML_ERROR_INCORRECT_ENCODING)
                Fault.Kind = XmltvFaultKind::Encoding;
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
            else if (code == XML_ERROR_AMPLIFICATION_LIMIT_BREACH)
                Fault.Kind = XmltvFaultKind::TooLarge;
#endif
            else if (!RootSeen)
                Fault.Kind = XmltvFaultKind::NotXml;
            else if (final && (code == XML_ERROR_NO_ELEMENTS || code == XML_ERROR_UNCLOSED_TOKEN ||
                               code == XML_ERROR_PARTIAL_CHAR))
                Fault.Kind = XmltvFaultKind::BrokenOff;
            else
                Fault.Kind = XmltvFaultKind::Syntax;
        }
        Valid = false;
    }

    void CollectInto(std::string& target)
    {
        target.clear();
        Collect = &target;
        CollectDepth = Depth;
    }

    // Takes the text when there is none yet, or Japanese over another language.
    void CollectText(Text& text, const XML_Char** attributes)
    {
        const bool japanese = IsJapanese(attributes);
        if (text.Have && (text.Japanese || !japanese))
            return;
        text.Have = true;
        text.Japanese = japanese;
        CollectInto(text.Utf8);
    }

    static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        auto& s = *static_cast<State*>(data);
        if (++s.Depth > MaxDepth) {
            s.Stop(XmltvFaultKind::TooLarge);
            return;
        }
        const std::string_view element = name;
        if (s.Depth == 1) {
            s.RootSeen = true;
            if (element != "tv")
                s.Stop(XmltvFaultKind::NotXml);
        } else if (s.Depth == 2 && element == "channel") {
            const XML_Char* id = Attribute(attributes, "id");
            s.InChannel = id != nullptr ? s.Find(id, !s.ChosenOnly) : nullptr;
            if (s.InChannel != nullptr && s.InChannel->Declared < 0)
                s.InChannel->Declared = s.DeclaredCount++;
        } else if (s.Depth == 2 && element == "programme") {
            s.Now = Programme();
            const XML_Char* channel = Attribute(attributes, "channel");
            const XML_Char* start = Attribute(attributes, "start");
            const XML_Char* stop = Attribute(attributes, "stop");
            s.Now.On = channel != nullptr && start != nullptr ? s.Find(channel, !s.ChosenOnly) : nullptr;
            s.Now.Active = s.Now.On != nullptr;
            s.Now.Start = start != nullptr ? start : "";
            s.Now.Stop = stop != nullptr ? stop : "";
        } else if (s.Depth == 3 && s.InChannel != nullptr && element == "display-name") {
            if (!s.InChannel->Named)
                s.CollectInto(s.ChannelName);
        } else if (s.Depth == 3 && s.Now.Active) {
            if (element == "title")
                s.CollectText(s.Now.Title, attributes);
            else if (element == "sub-title")
                s.CollectText(s.Now.Subtitle, attributes);
            else if (element == "desc")
                s.CollectText(s.Now.Desc, attributes);
            else if (element == "category")
                s.CollectInto(s.Now.Category);
            else if (element == "credits")
                s.Now.InCredits = true;
        } else if (s.Depth == 4 && s.Now.InCredits && s.Now.CreditBytes < TextLimit) {
            for (int role = 0; role < RoleCount; ++role)
                if (element == Roles[role]) {
                    s.Now.Credits[role].emplace_back();
                    s.CollectInto(s.Now.Credits[role].back());
                    s.CreditRole = role;
                }
        }
    }

    static void XMLCALL OnText(void* data, const XML_Char* text, int length)
    {
        auto& s = *static_cast<State*>(data);
        if (s.Collect == nullptr || s.Depth != s.CollectDepth)
            return;
        std::string_view piece(text, static_cast<size_t>(length));
        // Leading blanks (the document's indentation) take no room.
        if (s.Collect->empty())
            piece.remove_prefix(std::min(piece.size(), piece.find_first_not_of(" \t\r\n")));
        const size_t room = TextLimit - std::min(TextLimit, s.Collect->size());
        s.Collect->append(piece.substr(0, room));
    }

    static void XMLCALL OnEnd(void* data, const XML_Char* name)
    {
        auto& s = *static_cast<State*>(data);
        const std::string_view element = name;
        if (s.Collect != nullptr && s.Depth == s.CollectDepth) {
            TrimEnd(*s.Collect);
            s.Collect = nullptr;
            if (s.Depth == 3 && s.InChannel != nullptr) {
                s.InChannel->Name = s.Encoder.FromUtf8(s.ChannelName);
                s.InChannel->Named = true;
            } else if (s.Depth == 3 && element == "category") {
                const int genre = XmltvGenrePosition(s.Encoder.FromUtf8(s.Now.Category));
                s.Now.GenreMatches = s.Now.GenreMatches || genre == s.Genre;
            } else if (s.Depth == 4 && s.CreditRole >= 0) {
                auto& names = s.Now.Credits[s.CreditRole];
                if (names.back().empty())
                    names.pop_back();
                else
                    s.Now.CreditBytes += names.back().size();
                s.CreditRole = -1;
            }
        }
        if (s.Depth == 3 && element == "credits")
            s.Now.InCredits = false;
        if (s.Depth == 2 && element == "channel")
            s.InChannel = nullptr;
        if (s.Depth == 2 && element == "programme" && s.Now.Active) {
            s.Take();
            s.Now = Programme();
        }
        --s.Depth;
    }

    static int XMLCALL OnUnknownEncoding(void* data, const XML_Char* name, XML_Encoding* info)
    {
        auto& s = *static_cast<State*>(data);
        const bool shiftJis = IsShiftJisName(name);
        if (!shiftJis && !IsEucJpName(name))
            return XML_STATUS_ERROR;
        // Expat's map: the character of a single byte, -n for the first of n bytes, -1 for none.
        for (int i = 0; i < 256; ++i) {
            const auto byte = static_cast<unsigned char>(i);
            if (byte < 0x80)
                info->map[i] = byte;
            else if (shiftJis && InRange(byte, 0xA1, 0xDF))
                info->map[i] = 0xFF61 + (byte - 0xA1);
            else if (shiftJis)
                info->map[i] = IsCp932Lead(byte) ? -2 : -1;
            else if (byte == 0x8F)
                info->map[i] = -3;
            else
                info->map[i] = byte == 0x8E || InRange(byte, 0xA1, 0xFE) ? -2 : -1;
        }
        info->data = const_cast<Cp932Codec*>(&s.Encoder);
        info->convert = shiftJis ? ConvertShiftJis : ConvertEucJp;
        info->release = nullptr;
        return XML_STATUS_OK;
    }

    std::string Performers() const
    {
        std::string text;
        for (int role = 0; role < RoleCount; ++role) {
            if (Now.Credits[role].empty())
                continue;
            text += RoleHeadings[role];
            text += "／";
            for (size_t i = 0; i < Now.Credits[role].size(); ++i)
                text += (i > 0 ? "・" : "") + Encoder.FromUtf8(Now.Credits[role][i]);
        }
        return text;
    }

    // Keeps a finished programme, or only its start, when it can still matter.
    void Take()
    {
        int64_t start, end = 0;
        if (!ParseXmltvTime(Now.Start, start))
            return;
        Channel& channel = *Now.On;
        auto& slots = channel.Slots;
        // The first programme at a start is the one kept.
        if (slots.count(start) != 0 || SlotCount >= MaxSlots)
            return;
        Slot slot;
        slot.EndKnown = ParseXmltvTime(Now.Stop, end) && end >= start;
        slot.End = end;
        const bool wanted = AllGenres || Now.GenreMatches;

        if (start >= Window.End) {
            // Only the earliest of these matters, as the end of a programme before it.
            auto after = slots.lower_bound(Window.End);
            if (after != slots.end() && after->first < start)
                return;
            // Never a record: it cannot meet the window.
            if (after != slots.end())
                Erase(slots, after);
        } else if (start < Window.Start) {
            // Of those before the window only the latest start can run into it
            // with its end unknown; its start ends all the earlier ones.
            const bool meets = slot.EndKnown && slot.End > Window.Start;
            auto inside = slots.lower_bound(Window.Start);
            const bool latest = inside == slots.begin() || std::prev(inside)->first < start;
            if (!latest && !(meets && wanted))
                return;
            if (latest && inside != slots.begin()) {
                auto previous = std::prev(inside);
                const Slot& before = previous->second;
                if (!(before.Record && before.EndKnown && before.End > Window.Start))
                    Erase(slots, previous);
            }
            if (wanted && (meets || !slot.EndKnown))
                slot.Record = MakeRecord(start);
        } else if (wanted) {
            slot.Record = MakeRecord(start);
        }
        slots.emplace(start, std::move(slot));
        ++SlotCount;
    }

    void Erase(std::map<int64_t, Slot>& slots, std::map<int64_t, Slot>::iterator slot)
    {
        RecordCount -= slot->second.Record ? 1 : 0;
        --SlotCount;
        slots.erase(slot);
    }

    std::unique_ptr<TELOMI> MakeRecord(int64_t start)
    {
        if (RecordCount >= MaxRecords)
            return nullptr;
        ++RecordCount;
        auto record = std::make_unique<TELOMI>();
        std::memset(record.get(), 0, sizeof(TELOMI));
        const JapanTime at = ToJapanTime(start);
        record->Month = at.Date.Month;
        record->Day = at.Date.Day;
        record->StartHour = at.Hour;
        record->StartMinute = at.Minute;
        FitCp932(Encoder.FromUtf8(Now.Title.Utf8), record->Title, sizeof record->Title);
        FitCp932(Encoder.FromUtf8(Now.Subtitle.Utf8), record->Subtitle, sizeof record->Subtitle);
        // The description may keep its line breaks.
        FitCp932(Encoder.FromUtf8(Now.Desc.Utf8, true), record->Other, sizeof record->Other);
        FitCp932(Performers(), record->Performers, sizeof record->Performers);
        return record;
    }

    std::vector<const Channel*> Ordered() const
    {
        std::vector<const Channel*> order;
        if (ChosenOnly) {
            for (const auto& channel : Channels)
                order.push_back(channel.get());
            return order;
        }
        order.resize(DeclaredCount, nullptr);
        for (const auto& channel : Channels)
            if (channel->Declared >= 0)
                order[channel->Declared] = channel.get();
        for (const auto& channel : Channels)
            if (channel->Declared < 0)
                order.push_back(channel.get());
        return order;
    }
};

XmltvReader::XmltvReader(const XmltvRequest& request, const Cp932Codec& encoder)
    : S(std::make_unique<State>(request, encoder))
{
}

XmltvReader::~XmltvReader() = default;

bool XmltvReader::Feed(const char* bytes, size_t length)
{
    while (S->Valid && length > 0) {
        const size_t piece = std::min<size_t>(length, 1 << 20);
        if (XML_Parse(S->Parser, bytes, static_cast<int>(piece), XML_FALSE) == XML_STATUS_ERROR) {
            S->Failed(false);
            break;
        }
        S->Fed += piece;
        bytes += piece;
        length -= piece;
        // Expat keeps an unfinished token whole; a huge one is no listing.
        const XML_Index parsed = XML_GetCurrentByteIndex(S->Parser);
        if (parsed >= 0 && S->Fed - static_cast<uint64_t>(parsed) > TokenLimit) {
            S->Stop(XmltvFaultKind::TooLarge);
            S->Valid = false;
        }
    }
    return S->Valid;
}

bool XmltvReader::Finish()
{
    if (S->Valid && XML_Parse(S->Parser, nullptr, 0, XML_TRUE) == XML_STATUS_ERROR)
        S->Failed(true);
    const bool complete = S->Valid;
    S->Valid = false;
    return complete;
}

const XmltvFault& XmltvReader::Fault() const
{
    return S->Fault;
}

void XmltvReader::ForEachRecord(const std::function<void(const TELOMI&)>& take) const
{
    for (const Channel* channel : S->Ordered()) {
        if (channel == nullptr)
            continue;
        const std::string name = channel->Named ? channel->Name : S->Encoder.FromUtf8(channel->Id);
        for (auto slot = channel->Slots.begin(); slot != channel->Slots.end(); ++slot) {
            if (!slot->second.Record)
                continue;
            // An unknown end is where the channel's next programme starts.
            const auto next = std::next(slot);
            const int64_t end = slot->second.EndKnown ? slot->second.End
                                : next != channel->Slots.end() ? next->first
                                                               : slot->first;
            if (!Overlaps(S->Window, slot->first, end))
                continue;
            TELOMI record = *slot->second.Record;
            FitCp932(name, record.Station, sizeof record.Station);
            const JapanTime at = ToJapanTime(end);
            record.EndHour = at.Hour;
            record.EndMinute = at.Minute;
            take(record);
        }
    }
}

std::vector<std::string> SplitChannelList(const char* text)
{
    std::vector<std::string> channels;
    std::string id;
    for (const char* p = text;; ++p) {
        if (*p == ',' || *p == '\0') {
            const size_t first = id.find_first_not_of(' ');
            if (first != std::string::npos)
                channels.push_back(id.substr(first, id.find_last_not_of(' ') - first + 1));
            id.clear();
            if (*p == '\0')
                return channels;
        } else {
            id += *p;
        }
    }
}
