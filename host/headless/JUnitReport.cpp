// The suite's JUnit XML report, and the XML escaping it and the coverage
// page share.
#include "Suite.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Appends c (a code point) as UTF-8.
void PutUtf8(std::string* s, unsigned c) {
    if (c < 0x80) {
        *s += (char)c;
    } else if (c < 0x800) {
        *s += (char)(0xC0 | c >> 6);
        *s += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *s += (char)(0xE0 | c >> 12);
        *s += (char)(0x80 | ((c >> 6) & 0x3F));
        *s += (char)(0x80 | (c & 0x3F));
    } else {
        *s += (char)(0xF0 | c >> 18);
        *s += (char)(0x80 | ((c >> 12) & 0x3F));
        *s += (char)(0x80 | ((c >> 6) & 0x3F));
        *s += (char)(0x80 | (c & 0x3F));
    }
}

std::string Seconds(double s) {
    char t[32];
    std::snprintf(t, sizeof t, "%.3f", s);
    return t;
}

} // namespace

bool OpenJunit(const std::string& path, const std::vector<SuiteEntry>& entries, AtomicFile* file,
               std::ostream& err) {
    std::error_code ec;
    auto refuse = [&](const std::string& why) {
        err << "tmx5 run: --junit " << path << ": " << why << "\n";
        return false;
    };
    for (const SuiteEntry& e : entries)
        if (fs::equivalent(path, e.path, ec)) return refuse("that is a script of the suite");
    const std::string notRegular = NotWritable(path);
    if (!notRegular.empty()) return refuse(notRegular + "; the report is a regular file");
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (!file->Open(path)) return refuse("cannot write it: " + file->Error());
    return true;
}

bool WriteJunit(AtomicFile* file, const std::string& name, const std::vector<SuiteEntry>& entries,
                const std::vector<Outcome>& outcomes, std::ostream& err) {
    int failures = 0, errors = 0;
    double total = 0;
    for (const Outcome& r : outcomes) {
        failures += r.verdict == FAIL;
        errors += r.verdict == BAD;
        total += r.seconds;
    }
    std::ostringstream x;
    const std::string counts = " tests=\"" + std::to_string(outcomes.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
                               "\" time=\"" + Seconds(total) + "\"";
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites name=\"tmx5 run\"" << counts << ">\n"
      << "  <testsuite name=\"tmx5 run\"" << counts << " skipped=\"0\">\n";
    for (size_t i = 0; i < entries.size(); i++) {
        const Outcome& r = outcomes[i];
        const fs::path p(entries[i].path);
        std::string folder = p.parent_path().string();
        std::replace(folder.begin(), folder.end(), '/', '.');
        x << "    <testcase name=\"" << XmlEscape(p.filename().string()) << "\" classname=\""
          << XmlEscape(folder.empty() ? "tmx5" : folder) << "\" file=\"" << XmlEscape(entries[i].path)
          << "\" time=\"" << Seconds(r.seconds) << "\">\n";
        if (r.verdict != PASS)
            x << "      <" << (r.verdict == FAIL ? "failure" : "error") << " message=\""
              << XmlEscape(r.message) << "\" type=\"" << (r.verdict == FAIL ? "FAIL" : "BAD") << "\">"
              << XmlEscape(r.err) << "</" << (r.verdict == FAIL ? "failure" : "error") << ">\n";
        x << "      <system-out>" << XmlEscape(r.out) << "</system-out>\n"
          << "      <system-err>" << XmlEscape(r.err) << "</system-err>\n"
          << "    </testcase>\n";
    }
    x << "  </testsuite>\n</testsuites>\n";
    if (file->Write(x.str()) && file->Commit()) return true;
    err << "tmx5 run: cannot write " << name << ": " << file->Error() << "\n";
    return false;
}

std::string XmlEscape(const std::string& text) {
    std::string s;
    const unsigned char* p = (const unsigned char*)text.data();
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned c = p[i];
        size_t len = 1;
        if (c >= 0x80) {
            // A well-formed UTF-8 sequence, or U+FFFD for its first byte.
            len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            unsigned v = len == 4 ? c & 7 : len == 3 ? c & 15 : c & 31;
            bool ok = len != 0 && i + len <= n;
            for (size_t k = 1; ok && k < len; k++) {
                ok = (p[i + k] & 0xC0) == 0x80;
                v = v << 6 | (p[i + k] & 0x3F);
            }
            ok = ok &&
                 !(len == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF) || v == 0xFFFE || v == 0xFFFF)) &&
                 !(len == 4 && (v < 0x10000 || v > 0x10FFFF));
            if (!ok) {
                PutUtf8(&s, 0xFFFD);
                i++;
                continue;
            }
            s.append(text, i, len);
            i += len;
            continue;
        }
        i++;
        switch (c) {
            case '&':
                s += "&amp;";
                break;
            case '<':
                s += "&lt;";
                break;
            case '>':
                s += "&gt;";
                break;
            case '"':
                s += "&quot;";
                break;
            case '\'':
                s += "&apos;";
                break;
            default:
                if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    PutUtf8(&s, 0xFFFD);
                else
                    s += (char)c;
        }
    }
    return s;
}
