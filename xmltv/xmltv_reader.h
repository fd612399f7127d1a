// Reads an XMLTV document as its bytes arrive and keeps, as records, the
// programmes of the chosen channels and genre that meet the chosen six hours.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "listing/calendar.h"
#include "listing/programme.h"
#include "listing/cp932_codec.h"

struct XmltvRequest {
    LocalClock Now;   // Japan's wall clock
    int DayAhead;     // days after Now's broadcast day, 0 to DayChoiceCount - 1
    int TimeChoice;   // position in TimeChoices
    int GenreChoice;  // position in GenreChoices; "全て" takes every programme
    // Channel ids in the order wanted; empty takes every channel.
    std::vector<std::string> Channels;
};

enum class XmltvFaultKind {
    None,
    BadChoice,  // a choice outside its table: nothing is read
    NotXml,     // not an XMLTV document (no <tv>, not XML at all, or empty)
    Syntax,     // an XML error inside the document
    BrokenOff,  // the document ended before it was complete
    Encoding,   // declared in an encoding we cannot read, or bytes wrong for it
    TooLarge,   // nesting, a single tag or entity expansion beyond any sane listing
};

struct XmltvFault {
    XmltvFaultKind Kind = XmltvFaultKind::None;
    unsigned long Line = 0;    // where the fault was found, from 1; 0 when not in the text
    unsigned long Column = 0;
    std::string Detail;        // expat's English description, for logs
};

class XmltvReader {
public:
    // The encoder must outlive the reader.
    XmltvReader(const XmltvRequest& request, const Cp932Codec& encoder);
    ~XmltvReader();
    XmltvReader(const XmltvReader&) = delete;
    XmltvReader& operator=(const XmltvReader&) = delete;

    // The next bytes, in any size of piece. False once the document is found
    // broken; later bytes are then ignored.
    bool Feed(const char* bytes, size_t length);
    // After the last bytes; false when the document broke off or was faulty.
    bool Finish();
    const XmltvFault& Fault() const;
    // The programmes taken so far, by channel then start: valid at any time,
    // also after a fault or when the caller stops feeding early.
    // One record at a time, so the programmes are not held twice.
    void ForEachRecord(const std::function<void(const TELOMI&)>& take) const;

private:
    struct State;
    std::unique_ptr<State> S;
};

// Channel ids as the settings file lists them: separated by commas, spaces
// around each trimmed, empty ones dropped.
std::vector<std::string> SplitChannelList(const char* text);
