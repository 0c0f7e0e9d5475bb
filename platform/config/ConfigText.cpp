// Configuration text read and written in one pass over the text or the tree.
// The reader keeps its open groups on an explicit stack (no recursion, so no
// depth of nesting can exhaust the thread's stack) and refuses nesting past
// ConfigManager::maxDepth so that every tree it builds can be copied, compared
// and written again. Floats are written in the shortest form that reads back
// to the same bits.
#include "platform/config/ConfigText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>

#include "platform/config/BlockInternal.h"

namespace configmanager {
namespace {

struct ParseError {
    const char* at;
    std::string reason;
};

bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '*'; }
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '_'; }
bool isValueChar(char c) { return isNameChar(c) || c == '+' || c == '.'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of the valid UTF-8 sequence at p (1 to 4), 0 when the bytes there
// are not one.
size_t utf8Sequence(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c == 0xE0) length = 3, low = 0xA0;
    else if (c >= 0xE1 && c <= 0xEC) length = 3;
    else if (c == 0xED) length = 3, high = 0x9F;
    else if (c >= 0xEE && c <= 0xEF) length = 3;
    else if (c == 0xF0) length = 4, low = 0x90;
    else if (c >= 0xF1 && c <= 0xF3) length = 4;
    else if (c == 0xF4) length = 4, high = 0x8F;
    else return 0;
    if (static_cast<size_t>(end - p) < length) return 0;
    if (p[1] < low || p[1] > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF) return 0;
    return length;
}

// The first byte that is a zero or not part of valid UTF-8, or null.
const char* findBadByte(const char* begin, const char* end, bool* zero) {
    const auto* p = reinterpret_cast<const unsigned char*>(begin);
    const auto* e = reinterpret_cast<const unsigned char*>(end);
    while (p < e) {
        // Eight bytes of ASCII without a zero at a time.
        while (e - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            const bool high = (word & 0x8080808080808080ull) != 0;
            const bool zeroByte = ((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0;
            if (high || zeroByte) break;
            p += 8;
        }
        if (p == e) break;
        if (*p == 0) {
            *zero = true;
            return reinterpret_cast<const char*>(p);
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const size_t n = utf8Sequence(p, e);
        if (n == 0) {
            *zero = false;
            return reinterpret_cast<const char*>(p);
        }
        p += n;
    }
    return nullptr;
}

class Parser {
public:
    Parser(const std::string& text, ReadResult& result)
        : begin(text.data()), p(text.data()), end(text.data() + text.size()), result(result) {}

    void run(Block* root) {
        bool zero = false;
        if (const char* bad = findBadByte(begin, end, &zero))
            throw ParseError{bad, zero ? "a zero byte in the text" : "invalid UTF-8"};
        stack.push_back(Frame{Frame::Root, root, nullptr, 0});
        for (;;) {
            skipSpace();
            Frame& f = stack.back();
            if (f.kind == Frame::Root || f.kind == Frame::Group) {
                if (f.afterValue) {
                    f.afterValue = false;
                    if (p < end && (*p == ';' || *p == ',')) ++p;
                    continue;
                }
                if (p == end) {
                    if (f.kind == Frame::Root) return;
                    throw ParseError{p, "syntax error: the text ends inside a group (a '}' is missing)"};
                }
                if (*p == '}') {
                    if (f.kind == Frame::Root) throw ParseError{p, "syntax error: unexpected '}'"};
                    ++p;
                    close();
                    continue;
                }
                setting();
            } else {
                const char closing = f.kind == Frame::List ? ')' : ']';
                if (p == end) throw ParseError{p, std::string("syntax error: the text ends inside a list (a '") +
                                                      closing + "' is missing)"};
                if (f.afterValue) {
                    if (*p == ',') {
                        ++p;
                        f.afterValue = false;
                        f.needValue = true;
                    } else if (*p == closing) {
                        ++p;
                        close();
                    } else {
                        throw ParseError{p, "syntax error: unexpected " + describe(p) + " in a list"};
                    }
                    continue;
                }
                if (*p == closing && !f.needValue) {
                    ++p;
                    close();
                    continue;
                }
                f.needValue = false;
                value(nullptr, LinkedName(), nullptr, 0);
            }
        }
    }

private:
    struct Frame {
        enum Kind { Root, Group, List, Array } kind;
        Block* block;      // null inside skipped lists
        const char* name;  // the setting that opened it, for messages
        size_t nameLength;
        bool afterValue = false;
        bool needValue = false;
    };

    const char* begin;
    const char* p;
    const char* end;
    ReadResult& result;
    std::vector<Frame> stack;
    // The names met last at each depth and place in a group: the blocks of
    // a save repeat the same names in the same order, and a hit here spares
    // the process-wide name table its lock and hash.
    std::vector<std::vector<std::pair<std::string, LinkedName>>> recent;

    LinkedName intern(Block* parent, const char* name, size_t length) {
        const size_t depth = stack.size() - 1;
        const size_t place = TextAccess::properties(*parent).size();
        if (place >= 64) return LinkedName(std::string(name, length));
        if (recent.size() <= depth) recent.resize(depth + 1);
        auto& row = recent[depth];
        if (row.size() <= place) row.resize(place + 1);
        auto& cached = row[place];
        if (cached.first.size() != length || std::memcmp(cached.first.data(), name, length) != 0) {
            cached.first.assign(name, length);
            cached.second = LinkedName(cached.first);
        }
        return cached.second;
    }

    // Lines are counted on from the last place asked for: the places asked
    // for only move forward, so a text of many warnings stays linear.
    const char* counted = nullptr;
    int countedLine = 1;
    int lineOf(const char* at) {
        if (!counted || at < counted) counted = begin, countedLine = 1;
        for (; counted < at && counted < end; ++counted)
            if (*counted == '\n') ++countedLine;
        return countedLine;
    }

    std::string describe(const char* at) const {
        if (at >= end) return "end of text";
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c >= 0x20 && c < 0x7F) return std::string("'") + *at + "'";
        static const char digits[] = "0123456789ABCDEF";
        return std::string("byte 0x") + digits[c >> 4] + digits[c & 15];
    }

    void close() {
        stack.pop_back();
        stack.back().afterValue = true;
    }

    void skipSpace() {
        while (p < end) {
            const char c = *p;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++p;
            } else if (c == '#' || (c == '/' && p + 1 < end && p[1] == '/')) {
                const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
                p = nl ? static_cast<const char*>(nl) + 1 : end;
            } else if (c == '/' && p + 1 < end && p[1] == '*') {
                const char* start = p;
                p += 2;
                for (;;) {
                    if (p + 1 >= end) throw ParseError{start, "syntax error: a comment is not closed"};
                    if (p[0] == '*' && p[1] == '/') break;
                    ++p;
                }
                p += 2;
            } else {
                return;
            }
        }
    }

    std::string pathOf(const char* name, size_t length) const {
        std::string path;
        for (const Frame& f : stack) {
            if (!f.name) continue;
            path.append(f.name, f.nameLength);
            path += '.';
        }
        path.append(name, length);
        return path;
    }

    void setting() {
        const char* name = p;
        if (!isNameStart(*p)) throw ParseError{p, "syntax error: unexpected " + describe(p) + ", a name was expected"};
        while (p < end && isNameChar(*p)) ++p;
        const size_t length = static_cast<size_t>(p - name);
        if (length > ConfigManager::maxNameLength)
            throw ParseError{name, "a name is longer than " + std::to_string(ConfigManager::maxNameLength) + " bytes"};
        skipSpace();
        if (p == end || (*p != '=' && *p != ':'))
            throw ParseError{p, "syntax error: unexpected " + describe(p) + " after the name \"" +
                                    std::string(name, length) + "\" ('=' or ':' was expected)"};
        ++p;
        skipSpace();
        Block* parent = stack.back().block;
        LinkedName key;
        if (parent) {
            key = intern(parent, name, length);
            if (TextAccess::find(*parent, key))
                throw ParseError{name, "duplicate name \"" + pathOf(name, length) + "\""};
        }
        value(parent, key, name, length);
    }

    // One value; a scalar is stored in `parent` under `key` (when there is a
    // parent), an opening bracket pushes a frame.
    void value(Block* parent, const LinkedName& key, const char* name, size_t nameLength) {
        if (p == end) throw ParseError{p, "syntax error: the text ends where a value was expected"};
        const char c = *p;
        if (c == '{' || c == '(' || c == '[') {
            if (stack.size() > static_cast<size_t>(ConfigManager::maxDepth))
                throw ParseError{p, "groups and lists nested deeper than " + std::to_string(ConfigManager::maxDepth) +
                                        " levels"};
            ++p;
            if (c == '{') {
                Block* child = nullptr;
                if (parent) {
                    auto made = std::make_unique<Block>();  // the parent's once adopted
                    TextAccess::append(*parent, key).adopt(made.get());
                    child = made.release();
                }
                stack.push_back(Frame{Frame::Group, child, name, nameLength});
            } else {
                if (parent)
                    result.warnings.push_back("line " + std::to_string(lineOf(name)) + ": skipped " +
                                              pathOf(name, nameLength) + ": lists and arrays are not supported");
                stack.push_back(Frame{c == '(' ? Frame::List : Frame::Array, nullptr, name, nameLength});
            }
            return;
        }
        if (c == '"') {
            std::string text = stringValue();
            if (parent) {
                TextAccess::Property& property = TextAccess::append(*parent, key);
                property.type = PropertyType::String;
                property.s = std::move(text);
            }
        } else {
            scalar(parent, key);
        }
        stack.back().afterValue = true;
    }

    std::string stringValue() {
        std::string text;
        for (;;) {
            const char* start = p++;
            for (;;) {
                const char* run = p;
                while (p < end && *p != '"' && *p != '\\') ++p;
                text.append(run, static_cast<size_t>(p - run));
                if (p == end) throw ParseError{start, "syntax error: a string is not closed"};
                if (*p++ == '"') break;
                if (p == end) throw ParseError{start, "syntax error: a string is not closed"};
                const char e = *p++;
                switch (e) {
                    case 'n': text += '\n'; break;
                    case 'r': text += '\r'; break;
                    case 't': text += '\t'; break;
                    case 'f': text += '\f'; break;
                    case 'x': {
                        const int high = p < end ? hexDigit(p[0]) : -1;
                        const int low = p + 1 < end ? hexDigit(p[1]) : -1;
                        if (high < 0 || low < 0)
                            throw ParseError{p - 2, "syntax error: \\x must be followed by two hexadecimal digits"};
                        text += static_cast<char>(high * 16 + low);
                        p += 2;
                        break;
                    }
                    default: text += e; break;  // \\ \" and any other character as itself
                }
            }
            skipSpace();
            if (p == end || *p != '"') return text;  // "a" "b" reads as "ab"
        }
    }

    void scalar(Block* parent, const LinkedName& key) {
        const char* token = p;
        while (p < end && isValueChar(*p)) ++p;
        const size_t length = static_cast<size_t>(p - token);
        if (length == 0) throw ParseError{token, "syntax error: unexpected " + describe(token) + ", a value was expected"};
        auto equals = [&](const char* word) {
            if (std::strlen(word) != length) return false;
            for (size_t k = 0; k < length; ++k)
                if ((token[k] | 0x20) != word[k]) return false;
            return true;
        };
        TextAccess::Property* property = nullptr;
        if (equals("true") || equals("false")) {
            if (parent) {
                property = &TextAccess::append(*parent, key);
                property->type = PropertyType::Bool;
                property->b = equals("true");
            }
            return;
        }
        float f = 0.0f;
        long long wide = 0;
        const bool isFloat = number(token, p, &f, &wide);
        if (!parent) return;
        property = &TextAccess::append(*parent, key);
        if (isFloat) {
            property->type = PropertyType::Float;
            property->f = f;
        } else if (wide >= std::numeric_limits<int>::min() && wide <= std::numeric_limits<int>::max()) {
            property->type = PropertyType::Int;
            property->i = static_cast<int>(wide);
        } else {  // a 64-bit integer has no property type of its own
            property->type = PropertyType::Float;
            property->f = static_cast<float>(wide);
        }
    }

    // Parses a number token; true for a float (in *f), false for an integer
    // (in *wide). Throws for anything else.
    bool number(const char* token, const char* tokenEnd, float* f, long long* wide) {
        const char* q = token;
        const bool negative = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        const char* digits = q;
        const auto bad = [&]() {
            return ParseError{token, "syntax error: \"" + std::string(token, static_cast<size_t>(tokenEnd - token)) +
                                         "\" is not a value"};
        };
        const auto outOfRange = [&]() {
            return ParseError{token, "the number " + std::string(token, static_cast<size_t>(tokenEnd - token)) +
                                         " is out of range"};
        };
        // Integers: decimal or 0x hexadecimal, with an optional L or LL.
        const char* intEnd = tokenEnd;
        while (intEnd > digits && (intEnd[-1] == 'L' || intEnd[-1] == 'l') && tokenEnd - intEnd < 2) --intEnd;
        const bool hex = intEnd - digits > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        const char* first = hex ? digits + 2 : digits;
        bool integer = intEnd > first;
        for (const char* k = first; integer && k < intEnd; ++k) integer = hex ? hexDigit(*k) >= 0 : isDigit(*k);
        if (integer) {
            unsigned long long magnitude = 0;
            const auto result = std::from_chars(first, intEnd, magnitude, hex ? 16 : 10);
            if (result.ec != std::errc() || result.ptr != intEnd) throw outOfRange();
            const unsigned long long limit =
                static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + (negative ? 1 : 0);
            if (magnitude > limit) throw outOfRange();
            *wide = negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
            return false;
        }
        // Floats: digits with a '.' or an exponent (or both).
        const char* k = digits;
        size_t mantissa = 0;
        while (k < tokenEnd && isDigit(*k)) ++k, ++mantissa;
        const bool point = k < tokenEnd && *k == '.';
        if (point) {
            ++k;
            while (k < tokenEnd && isDigit(*k)) ++k, ++mantissa;
        }
        bool exponent = false;
        if (k < tokenEnd && (*k == 'e' || *k == 'E')) {
            ++k;
            if (k < tokenEnd && (*k == '+' || *k == '-')) ++k;
            const char* expDigits = k;
            while (k < tokenEnd && isDigit(*k)) ++k;
            if (k == expDigits) throw bad();
            exponent = true;
        }
        if (k != tokenEnd || mantissa == 0 || !(point || exponent)) throw bad();
        // from_chars takes a '-' but no '+'.
        const char* from = negative ? token : digits;
        const auto result = std::from_chars(from, tokenEnd, *f);
        if (result.ec == std::errc() && result.ptr == tokenEnd) return true;
        // Out of a float's range: a tiny value reads as the nearest float
        // (zero or a denormal), a huge one is refused.
        long double precise = 0;
        const auto again = std::from_chars(from, tokenEnd, precise);
        if (again.ec != std::errc() || again.ptr != tokenEnd || std::fabs(precise) > std::numeric_limits<float>::max())
            throw outOfRange();
        *f = static_cast<float>(precise);
        return true;
    }
};

// Writes the tree depth first; a block's lock is held while it is written.
class Writer {
public:
    Writer(std::string& out, std::string& reason) : out(out), reason(reason) {}

    bool block(const Block& b, int depth) {
        if (depth > ConfigManager::maxDepth) {
            reason = "the block \"" + path() + "\" is nested deeper than " + std::to_string(ConfigManager::maxDepth) +
                     " levels";
            return false;
        }
        std::lock_guard<const Block> guard(b);
        for (const TextAccess::Property& prop : TextAccess::properties(b)) {
            const std::string& name = prop.name.getString();
            names.push_back(&name);
            if (!ConfigManager::isWritableName(name)) {
                reason = "the name \"" + path() +
                         "\" cannot be written (a name starts with a letter and holds letters, digits, '-', '_' or "
                         "'*')";
                return false;
            }
            out.append(static_cast<size_t>(depth) * 2, ' ');
            out += name;
            out += " = ";
            switch (prop.type) {
                case PropertyType::Int: {
                    char buffer[16];
                    const auto r = std::to_chars(buffer, buffer + sizeof buffer, prop.i);
                    out.append(buffer, r.ptr);
                    break;
                }
                case PropertyType::Float:
                    if (!writeFloat(prop.f)) {
                        reason = "the value of \"" + path() + "\" is not a finite number";
                        return false;
                    }
                    break;
                case PropertyType::Bool: out += prop.b ? "true" : "false"; break;
                case PropertyType::String: writeString(prop.s); break;
                case PropertyType::Block:
                    out += "{\n";
                    if (!block(*prop.block, depth + 1)) return false;
                    out.append(static_cast<size_t>(depth) * 2, ' ');
                    out += '}';
                    break;
            }
            out += ";\n";
            names.pop_back();
        }
        return true;
    }

private:
    std::string& out;
    std::string& reason;
    std::vector<const std::string*> names;

    std::string path() const {
        std::string text;
        for (const std::string* n : names) {
            if (!text.empty()) text += '.';
            text += *n;
        }
        return text;
    }

    bool writeFloat(float value) {
        if (!std::isfinite(value)) return false;
        char buffer[32];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);  // shortest exact form
        const size_t length = static_cast<size_t>(r.ptr - buffer);
        out.append(buffer, length);
        if (!std::memchr(buffer, '.', length) && !std::memchr(buffer, 'e', length)) out += ".0";  // stays a float
        return true;
    }

    void writeString(const std::string& text) {
        static const char digits[] = "0123456789ABCDEF";
        bool zero = false;
        // Valid UTF-8 is written as it is, any other text byte by byte.
        const bool utf8 = findBadByte(text.data(), text.data() + text.size(), &zero) == nullptr;
        out += '"';
        for (const char ch : text) {
            const unsigned char c = static_cast<unsigned char>(ch);
            switch (ch) {
                case '"': out += "\\\""; continue;
                case '\\': out += "\\\\"; continue;
                case '\n': out += "\\n"; continue;
                case '\r': out += "\\r"; continue;
                case '\t': out += "\\t"; continue;
                case '\f': out += "\\f"; continue;
                default: break;
            }
            if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
                out += "\\x";
                out += digits[c >> 4];
                out += digits[c & 15];
            } else {
                out += ch;
            }
        }
        out += '"';
    }
};

}  // namespace

ReadResult parseConfigText(const std::string& text, Block* fresh) {
    ReadResult result;
    Parser parser(text, result);
    try {
        parser.run(fresh);
        result.ok = true;
    } catch (const ParseError& error) {
        int line = 1;
        for (const char* q = text.data(); q < error.at && q < text.data() + text.size(); ++q)
            if (*q == '\n') ++line;
        result.line = line;
        result.reason = error.reason;
    } catch (const std::bad_alloc&) {
        result.reason = "out of memory";
    }
    return result;
}

bool writeConfigText(const Block& block, std::string* text, std::string* reason) {
    Writer writer(*text, *reason);
    return writer.block(block, 0);
}

}  // namespace configmanager
