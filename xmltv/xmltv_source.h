// An XMLTV document as a source of listings: read from an http:// or https://
// address or from a file, as its bytes arrive.
#pragma once

#include <memory>
#include <string>

#include "fetch/retrieval.h"
#include "xmltv/xmltv_reader.h"

// Copied when a retrieval starts.
struct XmltvSettings {
    std::string Address;   // "http://...", "https://..." or a file path
    XmltvRequest Request;  // the day, window, genre and channels chosen
};

std::unique_ptr<RetrievalSource> MakeXmltvSource(const XmltvSettings& settings);
