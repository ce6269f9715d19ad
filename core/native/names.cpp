// Native stand-in for the name rules, as on a Windows system whose code page is
// UTF-8: names compared case-insensitively per character, paths counted in UTF-16.
// Bytes that are not UTF-8 stay as they are, as Linux keeps them: such a name is
// the same file only as the very same bytes.
#include <locale.h>
#include <wctype.h>

#include <cstring>

#include "platform.h"
#include "state.h"

const size_t PlatformPathLimit = 259;  // MAX_PATH less the terminator
const unsigned NotDecoded = 0xFFFFFFFF;

// Bytes in the sequence a lead byte starts; 0 for a byte that cannot start one.
static size_t SequenceLength(unsigned lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// The code point at text and its length in *length; NotDecoded (and length 1) for
// a byte that does not start a well-formed UTF-8 sequence.
static unsigned DecodeUtf8(const unsigned char* text, size_t* length) {
    static const unsigned leadBits[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const unsigned smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    *length = 1;
    const size_t count = SequenceLength(text[0]);
    if (count == 0) return NotDecoded;
    unsigned point = text[0] & leadBits[count];
    for (size_t i = 1; i < count; ++i) {
        if ((text[i] & 0xC0) != 0x80) return NotDecoded;  // a NUL ends it here too
        point = (point << 6) | (text[i] & 0x3F);
    }
    if (point < smallest[count] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return NotDecoded;
    *length = count;
    return point;
}

static bool IsUtf8(const unsigned char* text) {
    size_t length;
    for (; *text; text += length) {
        if (DecodeUtf8(text, &length) == NotDecoded) return false;
    }
    return true;
}

// The "C" locale folds ASCII only; a UTF-8 one knows every letter's capital.
static unsigned Upper(unsigned point) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return unicode ? static_cast<unsigned>(towupper_l(static_cast<wint_t>(point), unicode))
                   : static_cast<unsigned>(towupper(static_cast<wint_t>(point)));
}

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// One spelling of a path, as the file calls resolve it: "." parts dropped, a ".." part
// taking the part before it away, "/" and "\\" alike. False when out is too small.
static bool Resolve(const char* path, char* out, size_t size) {
    size_t length = 0;
    const bool rooted = IsSeparator(path[0]);
    for (const char* part = path; *part;) {
        while (IsSeparator(*part)) ++part;
        size_t partLength = 0;
        while (part[partLength] && !IsSeparator(part[partLength])) ++partLength;
        const bool up = partLength == 2 && part[0] == '.' && part[1] == '.';
        const size_t lastStart = length == 0 ? 0 : NameStart(out);
        const bool canGoUp = length > 0 && std::strcmp(out + lastStart, "..") != 0;
        if (up && canGoUp) {
            length = lastStart > 0 ? lastStart - 1 : 0;
        } else if (partLength > 0 && !(partLength == 1 && part[0] == '.')) {
            if (length + 1 + partLength + 1 > size) return false;
            if (length > 0 || rooted) out[length++] = '/';
            std::memcpy(out + length, part, partLength);
            length += partLength;
        }
        out[length] = '\0';
        part += partLength;
    }
    if (length == 0 && size > 1 && rooted) out[length++] = '/';
    out[length] = '\0';
    return true;
}

// Linux names have no aliases.
bool ReadLongName(const char*, char*) {
    return false;
}

bool SameFileName(const char* a, const char* b) {
    char resolvedA[WorkPathSize];
    char resolvedB[WorkPathSize];
    if (Resolve(a, resolvedA, sizeof resolvedA) && Resolve(b, resolvedB, sizeof resolvedB)) {
        a = resolvedA;
        b = resolvedB;
    }
    const unsigned char* textA = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* textB = reinterpret_cast<const unsigned char*>(b);
    if (!IsUtf8(textA) || !IsUtf8(textB)) return std::strcmp(a, b) == 0;
    while (*textA && *textB) {
        size_t lengthA, lengthB;
        if (Upper(DecodeUtf8(textA, &lengthA)) != Upper(DecodeUtf8(textB, &lengthB))) return false;
        textA += lengthA;
        textB += lengthB;
    }
    return *textA == *textB;
}

// UTF-8 never uses the bytes of ASCII inside a character: a plain scan is safe.
size_t NameStart(const char* path) {
    size_t start = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (path[i] == '\\' || path[i] == '/') start = i + 1;
    }
    return start;
}

// As the Windows side: a byte of a UTF-8 character is never a dot, a space or a separator.
bool PathPartEndsInDotOrSpace(const char* path) {
    size_t start = 0;
    for (size_t i = 0;; ++i) {
        const char c = path[i];
        if (c != '\0' && c != '\\' && c != '/') continue;
        const size_t length = i - start;
        const bool dots = (length == 1 && path[start] == '.') ||
                          (length == 2 && path[start] == '.' && path[start + 1] == '.');
        if (length > 0 && !dots && (path[i - 1] == '.' || path[i - 1] == ' ')) return true;
        if (c == '\0') return false;
        start = i + 1;
    }
}

bool PathFitsPlatform(const char* path) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(path);
    size_t units = 0;
    size_t length;
    for (; *text; text += length) {
        (void)DecodeUtf8(text, &length);
        units += length == 4 ? 2 : 1;  // beyond U+FFFF: a surrogate pair
    }
    return units <= PlatformPathLimit;
}

// Linux keeps a name's bytes as they are given: no name stands in for another.
bool NameIsUnmistakable(const char*) {
    return true;
}
