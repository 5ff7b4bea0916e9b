#include "text_output.h"

#include <qmsupport/toolsapi/codecs.h>

#include <cstdio>

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}
