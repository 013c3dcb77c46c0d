// Writes the certificate vectors as a script the test pages include, so that
// the pages are held to the same answers as the C++ tests:
//   var certificateVectors = [{name, text, validity, serial}, ...];
// validity and serial are null where the control returns a null string.
#include <cstdio>
#include <optional>
#include <string>

#include "tests/vectors/certificate_vectors.h"

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string OrNull(const std::optional<std::string>& text) {
    return text ? Quoted(*text) : "null";
}

}  // namespace

int main(int count, char** arguments) {
    if (count != 2) {
        std::fputs("usage: make_vectors_js OUTPUT.js\n", stderr);
        return 2;
    }
    std::FILE* out = std::fopen(arguments[1], "wb");
    if (!out) {
        std::perror(arguments[1]);
        return 1;
    }
    std::fputs("// Made by make_vectors_js from tests/vectors; do not edit.\nvar certificateVectors = [\n", out);
    // No comma after the last element: JScript would count an undefined
    // element after it.
    const char* separator = "";
    for (const CertificateVector& vector : CertificateVectors()) {
        std::fprintf(out, "%s  {name: %s, text: %s, validity: %s, serial: %s}", separator, Quoted(vector.name).c_str(),
                     Quoted(vector.text).c_str(), OrNull(vector.validity).c_str(), OrNull(vector.serial).c_str());
        separator = ",\n";
    }
    std::fputs("\n];\n", out);
    return std::fclose(out) == 0 ? 0 : 1;
}
