// Which shown genre an XMLTV category stands for.
#pragma once

#include <string_view>

// `category` is code page 932 text. The position in GenreChoices, or -1 when
// the category means nothing we know. Surrounding spaces are ignored and
// English names compare without regard to case.
int XmltvGenrePosition(std::string_view category);
