#include "base/platform/VLTracePropertyList.h"

#include <cstdio>

namespace {

// Skips blanks and XML comments from position i.
size_t SkipBlanks(const std::string& s, size_t i)
{
    for (;;) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
            ++i;
        if (s.compare(i, 4, "<!--") == 0) {
            size_t e = s.find("-->", i + 4);
            if (e == std::string::npos)
                return s.size();
            i = e + 3;
            continue;
        }
        return i;
    }
}

// Replaces the five predefined entities and decimal/hex character references
// below 0x80 (the filter holds digits).
std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        size_t e = s.find(';', i);
        if (e == std::string::npos) {
            out += s.substr(i);
            break;
        }
        std::string ent = s.substr(i + 1, e - i - 1);
        if (ent == "amp") out += '&';
        else if (ent == "lt") out += '<';
        else if (ent == "gt") out += '>';
        else if (ent == "quot") out += '"';
        else if (ent == "apos") out += '\'';
        else if (ent.size() > 1 && ent[0] == '#') {
            unsigned long v = 0;
            bool ok = true;
            bool hex = ent[1] == 'x';
            for (size_t k = hex ? 2 : 1; k < ent.size() && ok; ++k) {
                char c = ent[k];
                int d = (c >= '0' && c <= '9') ? c - '0'
                      : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                      : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
                if (d < 0) ok = false;
                else v = v * (hex ? 16 : 10) + static_cast<unsigned long>(d);
                if (v > 0x7f) ok = false;
            }
            if (ok) out += static_cast<char>(v);
        }
        i = e;
    }
    return out;
}

// True when an empty element such as <true/> or <true /> starts at i.
bool IsEmptyElement(const std::string& s, size_t i, const char* szName)
{
    std::string open = std::string("<") + szName;
    if (s.compare(i, open.size(), open) != 0)
        return false;
    i += open.size();
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
        ++i;
    return s.compare(i, 2, "/>") == 0;
}

}  // namespace

VLTracePropertyList VLParseTracePropertyList(const std::string& s)
{
    VLTracePropertyList result;
    size_t i = 0;
    while ((i = s.find("<key>", i)) != std::string::npos) {
        size_t e = s.find("</key>", i);
        if (e == std::string::npos)
            break;
        std::string key = Unescape(s.substr(i + 5, e - i - 5));
        size_t v = SkipBlanks(s, e + 6);
        i = v;
        if (key == "TRACE_FLAG") {
            if (IsEmptyElement(s, v, "true")) {
                result.bHasFlag = true;
                result.bFlag = true;
            } else if (IsEmptyElement(s, v, "false")) {
                result.bHasFlag = true;
                result.bFlag = false;
            }
        } else if (key == "FUNC_TYPE_FILTER") {
            if (s.compare(v, 8, "<string>") == 0) {
                size_t se = s.find("</string>", v + 8);
                if (se != std::string::npos) {
                    result.bHasFilter = true;
                    result.strFilter = Unescape(s.substr(v + 8, se - v - 8));
                }
            } else if (IsEmptyElement(s, v, "string")) {
                result.bHasFilter = true;
                result.strFilter.clear();
            }
        }
    }
    return result;
}

VLTracePropertyList VLReadTracePropertyList(const char* szPath)
{
    std::string text;
    FILE* fp = szPath ? fopen(szPath, "rb") : nullptr;
    if (fp == nullptr)
        return VLTracePropertyList();
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), fp)) > 0 && text.size() < (1u << 20))
        text.append(buf, n);
    fclose(fp);
    return VLParseTracePropertyList(text);
}
