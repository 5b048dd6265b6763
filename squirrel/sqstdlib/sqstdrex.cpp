// Regular expressions of the string library: a compiler to a node list and a matcher in which a
// repetition stops at the first count where the element after it matches (no backtracking).
#include "sqstdstring.h"

#include <bitset>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int NoNode = -1;
constexpr int Unbounded = 0xFFFF;
constexpr int MaxCount = 0xFFFE;
constexpr int MaxNesting = 64;     // groups inside groups
constexpr int MaxMatchDepth = 600;  // nested element matches (groups, repetitions and their probes)
constexpr long long BaseStepBudget = 20000000;
constexpr long long StepsPerByte = 64;

enum class Kind : uint8_t { Char, Any, Set, Bol, Eol, Boundary, NotBoundary, Group, Alt, Repeat };

// Sequences are chained through `next`; a group's body starts at `left`, a repetition repeats the
// single node `left`, an alternation's branches are listed in SQRex::alts[`aux`].
struct Node {
    Kind kind;
    unsigned char ch = 0;
    int aux = -1;  // Set: index into sets; Alt: index into alts; Group: capture index or -1
    int left = NoNode;
    int next = NoNode;
    int min = 0;
    int max = 0;
    int capFirst = 0;  // capture indices used inside this node: [capFirst, capEnd)
    int capEnd = 0;
};

using CharSet = std::bitset<256>;

struct CompileError {
    const char* text;
};

}  // namespace

struct SQRex {
    std::vector<Node> nodes;
    std::vector<CharSet> sets;
    std::vector<std::vector<int>> alts;
    int root = NoNode;
    std::vector<SQRexMatch> matches;  // [0] whole match, then one per capturing group
    // Per-search state.
    const char* bol = nullptr;
    const char* eol = nullptr;
    long long stepsLeft = 0;
    int depth = 0;
};

namespace {

bool isSpaceByte(unsigned char c)
{
    return std::isspace(c) != 0;
}

// The class named by an escape letter; false when the letter names no class.
bool classForEscape(char letter, CharSet& out)
{
    int (*pred)(int) = nullptr;
    bool negate = false;
    switch (letter) {
    case 'a': pred = isalpha; break;
    case 'A': pred = isalpha; negate = true; break;
    case 'w': pred = isalnum; break;
    case 'W': pred = isalnum; negate = true; break;
    case 's': pred = isspace; break;
    case 'S': pred = isspace; negate = true; break;
    case 'd': pred = isdigit; break;
    case 'D': pred = isdigit; negate = true; break;
    case 'x': pred = isxdigit; break;
    case 'X': pred = isxdigit; negate = true; break;
    case 'c': pred = iscntrl; break;
    case 'C': pred = iscntrl; negate = true; break;
    case 'p': pred = ispunct; break;
    case 'P': pred = ispunct; negate = true; break;
    case 'l': pred = islower; break;
    case 'u': pred = isupper; break;
    default: return false;
    }
    bool word = letter == 'w' || letter == 'W';
    out.reset();
    for (int c = 0; c < 256; ++c) {
        bool in = pred(c) != 0 || (word && c == '_');
        out[c] = in != negate;
    }
    return true;
}

char controlEscape(char letter)
{
    switch (letter) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case 'f': return '\f';
    case 'v': return '\v';
    default: return 0;
    }
}

class RexCompiler {
public:
    RexCompiler(const char* pattern, SQRex& rex) : P(pattern), Len(std::strlen(pattern)), Rex(rex) {}

    void compile()
    {
        Rex.matches.assign(1, SQRexMatch{nullptr, 0});
        Rex.root = parseAlternation(0);
        if (Pos < Len) throw CompileError{"unexpected character"};
    }

private:
    const char* P;
    size_t Len;
    size_t Pos = 0;
    SQRex& Rex;

    bool atEnd() const { return Pos >= Len; }
    char peek() const { return P[Pos]; }

    int addNode(Kind kind)
    {
        Node n;
        n.kind = kind;
        Rex.nodes.push_back(n);
        return int(Rex.nodes.size()) - 1;
    }

    // A raw pattern byte used as a literal must be printable; control bytes are written as escapes.
    char takeLiteral()
    {
        char c = P[Pos++];
        if (!std::isprint(static_cast<unsigned char>(c))) throw CompileError{"letter expected"};
        return c;
    }

    int parseAlternation(int depth)
    {
        int capBefore = int(Rex.matches.size());
        int first = parseSequence(depth);
        if (atEnd() || peek() != '|') return first;
        std::vector<int> branches{first};
        while (!atEnd() && peek() == '|') {
            ++Pos;
            branches.push_back(parseSequence(depth));
        }
        int alt = addNode(Kind::Alt);
        Rex.alts.push_back(std::move(branches));
        Rex.nodes[alt].aux = int(Rex.alts.size()) - 1;
        Rex.nodes[alt].capFirst = capBefore;
        Rex.nodes[alt].capEnd = int(Rex.matches.size());
        return alt;
    }

    int parseSequence(int depth)
    {
        int first = NoNode, last = NoNode;
        bool atStart = true;
        while (!atEnd() && peek() != '|' && peek() != ')') {
            int capBefore = int(Rex.matches.size());
            int elem = parseElement(depth, atStart);
            atStart = false;
            elem = parseQuantifier(elem);
            Rex.nodes[elem].capFirst = capBefore;
            Rex.nodes[elem].capEnd = int(Rex.matches.size());
            if (first == NoNode) first = elem;
            else Rex.nodes[last].next = elem;
            last = elem;
        }
        return first;
    }

    int parseElement(int depth, bool atStart)
    {
        char c = peek();
        switch (c) {
        case '(': return parseGroup(depth);
        case '[': return parseClass();
        case '\\': return parseEscapeElement();
        case '.': ++Pos; return addNode(Kind::Any);
        case '$': ++Pos; return addNode(Kind::Eol);
        case '*':
        case '+':
        case '?': throw CompileError{"unexpected character"};
        case '^':
            if (atStart) {
                ++Pos;
                return addNode(Kind::Bol);
            }
            break;
        default: break;
        }
        int n = addNode(Kind::Char);
        Rex.nodes[n].ch = static_cast<unsigned char>(takeLiteral());
        return n;
    }

    int parseGroup(int depth)
    {
        if (depth >= MaxNesting) throw CompileError{"too many nested groups"};
        ++Pos;  // '('
        int capture = -1;
        if (!atEnd() && peek() == '?') {
            ++Pos;
            if (atEnd() || peek() != ':') throw CompileError{"expected paren"};
            ++Pos;
        } else {
            capture = int(Rex.matches.size());
            Rex.matches.push_back(SQRexMatch{nullptr, 0});
        }
        int body = parseAlternation(depth + 1);
        if (atEnd() || peek() != ')') throw CompileError{"expected paren"};
        ++Pos;
        int g = addNode(Kind::Group);
        Rex.nodes[g].left = body;
        Rex.nodes[g].aux = capture;
        return g;
    }

    int parseEscapeElement()
    {
        ++Pos;  // '\'
        if (atEnd()) throw CompileError{"letter expected"};
        char letter = P[Pos];
        if (letter == 'b' || letter == 'B') {
            ++Pos;
            return addNode(letter == 'b' ? Kind::Boundary : Kind::NotBoundary);
        }
        CharSet set;
        if (classForEscape(letter, set)) {
            ++Pos;
            return addSet(set);
        }
        char ctl = controlEscape(letter);
        int n = addNode(Kind::Char);
        if (ctl) {
            ++Pos;
            Rex.nodes[n].ch = static_cast<unsigned char>(ctl);
        } else {
            Rex.nodes[n].ch = static_cast<unsigned char>(takeLiteral());
        }
        return n;
    }

    int addSet(const CharSet& set)
    {
        Rex.sets.push_back(set);
        int n = addNode(Kind::Set);
        Rex.nodes[n].aux = int(Rex.sets.size()) - 1;
        return n;
    }

    // One class item: a byte (returned, isClass false) or a named class merged into `set`.
    unsigned char parseClassItem(CharSet& named, bool& isClass)
    {
        isClass = false;
        if (peek() != '\\') return static_cast<unsigned char>(takeLiteral());
        ++Pos;
        if (atEnd()) throw CompileError{"letter expected"};
        char letter = P[Pos];
        if (classForEscape(letter, named)) {
            ++Pos;
            isClass = true;
            return 0;
        }
        if (char ctl = controlEscape(letter)) {
            ++Pos;
            return static_cast<unsigned char>(ctl);
        }
        return static_cast<unsigned char>(takeLiteral());
    }

    int parseClass()
    {
        ++Pos;  // '['
        bool negate = false;
        if (!atEnd() && peek() == '^') {
            negate = true;
            ++Pos;
        }
        if (!atEnd() && peek() == ']') throw CompileError{"empty class"};
        CharSet set;
        while (!atEnd() && peek() != ']') {
            CharSet named;
            bool isClass;
            unsigned char lo = parseClassItem(named, isClass);
            // A '-' with anything after it opens a range, even a ']' (so "[+-]" is unterminated).
            if (Pos + 1 < Len && peek() == '-') {
                if (isClass) throw CompileError{"cannot use character classes in ranges"};
                ++Pos;
                CharSet endNamed;
                bool endIsClass;
                unsigned char hi = parseClassItem(endNamed, endIsClass);
                if (endIsClass) throw CompileError{"cannot use character classes in ranges"};
                if (lo > hi) throw CompileError{"invalid range"};
                for (int c = lo; c <= hi; ++c) set[c] = true;
            } else if (isClass) {
                set |= named;
            } else {
                set[lo] = true;
            }
        }
        if (atEnd()) throw CompileError{"expected paren"};
        ++Pos;  // ']'
        if (negate) set.flip();
        return addSet(set);
    }

    int parseNumber()
    {
        if (atEnd() || !std::isdigit(static_cast<unsigned char>(peek()))) throw CompileError{"number expected"};
        int value = 0;
        while (!atEnd() && std::isdigit(static_cast<unsigned char>(peek()))) {
            value = value * 10 + (P[Pos++] - '0');
            if (value > MaxCount) throw CompileError{"overflow in numeric constant"};
        }
        return value;
    }

    int parseQuantifier(int elem)
    {
        if (atEnd()) return elem;
        int min, max;
        switch (peek()) {
        case '*': min = 0; max = Unbounded; ++Pos; break;
        case '+': min = 1; max = Unbounded; ++Pos; break;
        case '?': min = 0; max = 1; ++Pos; break;
        case '{':
            ++Pos;
            min = max = parseNumber();
            if (!atEnd() && peek() == ',') {
                ++Pos;
                max = (!atEnd() && peek() != '}') ? parseNumber() : Unbounded;
            }
            if (atEnd() || peek() != '}') throw CompileError{", or } expected"};
            ++Pos;
            break;
        default: return elem;
        }
        int r = addNode(Kind::Repeat);
        Rex.nodes[r].left = elem;
        Rex.nodes[r].min = min;
        Rex.nodes[r].max = max;
        return r;
    }
};

// Matching. Every function returns the end of what it matched, or nullptr.
const char* matchElement(SQRex& rx, int n, const char* s, int follow);

const char* matchSequence(SQRex& rx, int n, const char* s, int follow)
{
    while (n != NoNode && s) {
        int next = rx.nodes[n].next;
        s = matchElement(rx, n, s, next != NoNode ? next : follow);
        n = next;
    }
    return s;
}

unsigned char byteAt(const SQRex& rx, const char* p)
{
    return (p >= rx.bol && p < rx.eol) ? static_cast<unsigned char>(*p) : 0;
}

// Word boundaries are whitespace-based: a space / non-space change around the position.
bool isBoundary(const SQRex& rx, const char* s)
{
    bool here = isSpaceByte(byteAt(rx, s));
    bool after = isSpaceByte(byteAt(rx, s + 1));
    if (s == rx.bol && !here) return true;
    if (s == rx.eol && s > rx.bol && !isSpaceByte(byteAt(rx, s - 1))) return true;
    return here != after;
}

// Failed attempts must not leave captures behind; only the groups inside the node are saved.
class CaptureSnapshot {
public:
    CaptureSnapshot(SQRex& rx, const Node& node) : Rx(rx), First(node.capFirst)
    {
        if (node.capEnd > node.capFirst)
            Saved.assign(rx.matches.begin() + node.capFirst, rx.matches.begin() + node.capEnd);
    }
    void restore()
    {
        for (size_t i = 0; i < Saved.size(); ++i) Rx.matches[First + i] = Saved[i];
    }

private:
    SQRex& Rx;
    int First;
    std::vector<SQRexMatch> Saved;
};

bool countAccepted(const Node& node, int count)
{
    return count >= node.min && (node.max == Unbounded || count <= node.max);
}

const char* matchRepeat(SQRex& rx, const Node& node, const char* s, int follow)
{
    // A following repetition that may match nothing would stop every loop at once.
    bool probe = follow != NoNode &&
                 !(rx.nodes[follow].kind == Kind::Repeat && rx.nodes[follow].min == 0);
    int count = 0;
    const char* cur = s;
    while (node.max == Unbounded || count < node.max) {
        const char* r = matchElement(rx, node.left, cur, follow);
        if (!r) break;
        ++count;
        if (r == cur) {  // an empty occurrence repeats forever: take it as enough
            if (count < node.min) count = node.min;
            break;
        }
        cur = r;
        if (probe && countAccepted(node, count)) {
            CaptureSnapshot snap(rx, rx.nodes[follow]);
            bool stops = matchElement(rx, follow, cur, rx.nodes[follow].next) != nullptr;
            snap.restore();
            if (stops) break;
        }
        if (cur >= rx.eol) break;
    }
    return countAccepted(node, count) ? cur : nullptr;
}

const char* matchAlternation(SQRex& rx, const Node& node, const char* s, int follow)
{
    for (int branch : rx.alts[node.aux]) {
        CaptureSnapshot snap(rx, node);
        if (const char* r = matchSequence(rx, branch, s, follow)) return r;
        snap.restore();
    }
    return nullptr;
}

const char* matchElement(SQRex& rx, int n, const char* s, int follow)
{
    if (--rx.stepsLeft < 0 || rx.depth >= MaxMatchDepth) return nullptr;
    const Node& node = rx.nodes[n];
    switch (node.kind) {
    case Kind::Char: return (s < rx.eol && static_cast<unsigned char>(*s) == node.ch) ? s + 1 : nullptr;
    case Kind::Any: return s < rx.eol ? s + 1 : nullptr;
    case Kind::Set:
        return (s < rx.eol && rx.sets[node.aux][static_cast<unsigned char>(*s)]) ? s + 1 : nullptr;
    case Kind::Bol: return s == rx.bol ? s : nullptr;
    case Kind::Eol: return s == rx.eol ? s : nullptr;
    case Kind::Boundary: return isBoundary(rx, s) ? s : nullptr;
    case Kind::NotBoundary: return isBoundary(rx, s) ? nullptr : s;
    default: break;
    }
    ++rx.depth;
    const char* r = nullptr;
    if (node.kind == Kind::Group) {
        r = matchSequence(rx, node.left, s, follow);
        if (r && node.aux >= 0) rx.matches[node.aux] = SQRexMatch{s, SQInteger(r - s)};
    } else if (node.kind == Kind::Alt) {
        r = matchAlternation(rx, node, s, follow);
    } else {
        r = matchRepeat(rx, node, s, follow);
    }
    --rx.depth;
    return r;
}

void startMatch(SQRex& rx, const char* begin, const char* end)
{
    rx.bol = begin;
    rx.eol = end;
    rx.depth = 0;
    rx.stepsLeft = BaseStepBudget + StepsPerByte * static_cast<long long>(end - begin);
}

void clearCaptures(SQRex& rx)
{
    for (SQRexMatch& m : rx.matches) m = SQRexMatch{nullptr, 0};
}

}  // namespace

extern "C" {

SQRex* sqstd_rex_compile(const SQChar* pattern, const SQChar** error)
{
    if (error) *error = nullptr;
    SQRex* rex = new (std::nothrow) SQRex;
    if (!rex) {
        if (error) *error = "out of memory";
        return nullptr;
    }
    try {
        RexCompiler(pattern ? pattern : "", *rex).compile();
    } catch (const CompileError& e) {
        if (error) *error = e.text;
        delete rex;
        return nullptr;
    } catch (const std::bad_alloc&) {
        if (error) *error = "out of memory";
        delete rex;
        return nullptr;
    }
    return rex;
}

void sqstd_rex_free(SQRex* exp)
{
    delete exp;
}

SQBool sqstd_rex_match(SQRex* exp, const SQChar* text)
{
    if (!exp || !text) return SQFalse;
    const char* end = text + std::strlen(text);
    startMatch(*exp, text, end);
    clearCaptures(*exp);
    const char* r = matchSequence(*exp, exp->root, text, NoNode);
    if (r != end) return SQFalse;
    exp->matches[0] = SQRexMatch{text, SQInteger(end - text)};
    return SQTrue;
}

SQBool sqstd_rex_searchrange(SQRex* exp, const SQChar* text_begin, const SQChar* text_end,
                             const SQChar** out_begin, const SQChar** out_end)
{
    if (!exp || !text_begin || text_end < text_begin) return SQFalse;
    startMatch(*exp, text_begin, text_end);
    bool anchored = exp->root != NoNode && exp->nodes[exp->root].kind == Kind::Bol;
    // Every start position is tried, the last byte included; the end itself is not.
    for (const char* p = text_begin; p < text_end; ++p) {
        clearCaptures(*exp);
        if (const char* r = matchSequence(*exp, exp->root, p, NoNode)) {
            exp->matches[0] = SQRexMatch{p, SQInteger(r - p)};
            if (out_begin) *out_begin = p;
            if (out_end) *out_end = r;
            return SQTrue;
        }
        if (anchored || exp->stepsLeft < 0) break;
    }
    return SQFalse;
}

SQBool sqstd_rex_search(SQRex* exp, const SQChar* text, const SQChar** out_begin, const SQChar** out_end)
{
    if (!text) return SQFalse;
    return sqstd_rex_searchrange(exp, text, text + std::strlen(text), out_begin, out_end);
}

SQInteger sqstd_rex_getsubexpcount(SQRex* exp)
{
    return exp ? SQInteger(exp->matches.size()) : 0;
}

SQBool sqstd_rex_getsubexp(SQRex* exp, SQInteger n, SQRexMatch* subexp)
{
    if (!exp || n < 0 || n >= SQInteger(exp->matches.size()) || !subexp) return SQFalse;
    *subexp = exp->matches[n];
    return SQTrue;
}

}  // extern "C"
