// Tokenizer: 8-bit source, line/column tracking, number and string literal rules of 2.2.
#include "sqlexer.h"
#include "sqmessages.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Keyword { const char* name; SQInteger tok; };
const Keyword kKeywords[] = {
    {"break", TK_BREAK}, {"case", TK_CASE}, {"catch", TK_CATCH}, {"class", TK_CLASS},
    {"clone", TK_CLONE}, {"const", TK_CONST}, {"constructor", TK_CONSTRUCTOR},
    {"continue", TK_CONTINUE}, {"default", TK_DEFAULT}, {"delegate", TK_DELEGATE},
    {"delete", TK_DELETE}, {"do", TK_DO}, {"else", TK_ELSE}, {"enum", TK_ENUM},
    {"extends", TK_EXTENDS}, {"false", TK_FALSE}, {"for", TK_FOR}, {"foreach", TK_FOREACH},
    {"function", TK_FUNCTION}, {"if", TK_IF}, {"in", TK_IN}, {"instanceof", TK_INSTANCEOF},
    {"local", TK_LOCAL}, {"null", TK_NULL}, {"parent", TK_PARENT}, {"resume", TK_RESUME},
    {"return", TK_RETURN}, {"static", TK_STATIC}, {"switch", TK_SWITCH}, {"this", TK_THIS},
    {"throw", TK_THROW}, {"true", TK_TRUE}, {"try", TK_TRY}, {"typeof", TK_TYPEOF},
    {"vargc", TK_VARGC}, {"vargv", TK_VARGV}, {"while", TK_WHILE}, {"yield", TK_YIELD},
};

bool isIdStart(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHex(int c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(int c) { return isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

} // namespace

SQLexer::SQLexer(SQLEXREADFUNC rg, SQUserPointer up) : _readf(rg), _up(up) {}

void SQLexer::Begin()
{
    Next();
}

const char* SQLexer::KeywordName(SQInteger tok)
{
    for (const Keyword& k : kKeywords) {
        if (k.tok == tok) return k.name;
    }
    return nullptr;
}

void SQLexer::Error(const char* msg)
{
    throw SQCompileError{msg};
}

void SQLexer::Next()
{
    SQInteger t = _readf(_up);
    // Strings are 8-bit: a decoded code point above 255 cannot be represented.
    if (t > 255) Error(sqmsg::InvalidCharacter);
    _currdata = static_cast<int>(static_cast<unsigned char>(static_cast<char>(t)));
    if (t == SQUIRREL_EOB) _currdata = 0;
    _currentcolumn++;
}

void SQLexer::LexBlockComment()
{
    for (;;) {
        switch (_currdata) {
        case '*':
            Next();
            if (_currdata == '/') { Next(); return; }
            continue;
        case '\n': _currentline++; _currentcolumn = 0; Next(); continue;
        case 0: Error(sqmsg::MissingInComment);
        default: Next();
        }
    }
}

void SQLexer::LexLineComment()
{
    while (_currdata != '\n' && _currdata != 0) Next();
}

SQInteger SQLexer::Lex()
{
    SQInteger tok = LexToken();
    _lasttokenline = _currentline;
    return tok;
}

SQInteger SQLexer::LexToken()
{
    _newlineBefore = false;
    for (;;) {
        int c = _currdata;
        switch (c) {
        case '\t': case '\r': case ' ': Next(); continue;
        case '\n': _currentline++; _newlineBefore = true; Next(); _currentcolumn = 1; continue;
        case '/':
            Next();
            if (_currdata == '*') { Next(); LexBlockComment(); continue; }
            if (_currdata == '/') { LexLineComment(); continue; }
            if (_currdata == '=') { Next(); return _prevtoken = TK_DIVEQ; }
            if (_currdata == '>') { Next(); return _prevtoken = TK_ATTR_CLOSE; }
            return _prevtoken = '/';
        case '=':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_EQ; }
            return _prevtoken = '=';
        case '<':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_LE; }
            if (_currdata == '-') { Next(); return _prevtoken = TK_NEWSLOT; }
            if (_currdata == '<') { Next(); return _prevtoken = TK_SHIFTL; }
            if (_currdata == '/') { Next(); return _prevtoken = TK_ATTR_OPEN; }
            return _prevtoken = '<';
        case '>':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_GE; }
            if (_currdata == '>') {
                Next();
                if (_currdata == '>') { Next(); return _prevtoken = TK_USHIFTR; }
                return _prevtoken = TK_SHIFTR;
            }
            return _prevtoken = '>';
        case '!':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_NE; }
            return _prevtoken = '!';
        case '@':
            Next();
            if (_currdata != '"') Error(sqmsg::StringExpected);
            return _prevtoken = ReadString('"', true);
        case '"': case '\'':
            return _prevtoken = ReadString(c, false);
        case '{': case '}': case '(': case ')': case '[': case ']': case ';': case ',': case '?':
        case '^': case '~':
            Next();
            return _prevtoken = c;
        case '.':
            Next();
            if (_currdata != '.') return _prevtoken = '.';
            Next();
            if (_currdata != '.') Error(sqmsg::InvalidToken);
            Next();
            return _prevtoken = TK_VARPARAMS;
        case '&':
            Next();
            if (_currdata == '&') { Next(); return _prevtoken = TK_AND; }
            return _prevtoken = '&';
        case '|':
            Next();
            if (_currdata == '|') { Next(); return _prevtoken = TK_OR; }
            return _prevtoken = '|';
        case ':':
            Next();
            if (_currdata == ':') { Next(); return _prevtoken = TK_DOUBLE_COLON; }
            return _prevtoken = ':';
        case '*':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_MULEQ; }
            return _prevtoken = '*';
        case '%':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_MODEQ; }
            return _prevtoken = '%';
        case '-':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_MINUSEQ; }
            if (_currdata == '-') { Next(); return _prevtoken = TK_MINUSMINUS; }
            return _prevtoken = '-';
        case '+':
            Next();
            if (_currdata == '=') { Next(); return _prevtoken = TK_PLUSEQ; }
            if (_currdata == '+') { Next(); return _prevtoken = TK_PLUSPLUS; }
            return _prevtoken = '+';
        case 0:
            return _prevtoken = TK_EOF;
        default:
            if (isDigit(c)) return _prevtoken = ReadNumber();
            if (isIdStart(c)) return _prevtoken = ReadId();
            if (c < 32 || c == 127) Error(sqmsg::UnexpectedCharacterControl);
            Next();
            return _prevtoken = c;
        }
    }
}

SQInteger SQLexer::ReadId()
{
    _svalue.clear();
    do {
        _svalue.push_back(static_cast<char>(_currdata));
        Next();
    } while (isIdStart(_currdata) || isDigit(_currdata));
    for (const Keyword& k : kKeywords) {
        if (_svalue == k.name) return k.tok;
    }
    return TK_IDENTIFIER;
}

SQInteger SQLexer::ReadString(int ndelim, bool verbatim)
{
    _svalue.clear();
    Next();
    if (_currdata == 0) Error(sqmsg::ErrorParsingTheString);
    for (;;) {
        while (_currdata != ndelim) {
            switch (_currdata) {
            case 0: Error(sqmsg::UnfinishedString);
            case '\n':
                if (!verbatim) Error(sqmsg::NewlineInAConstant);
                _svalue.push_back('\n');
                Next();
                _currentline++;
                break;
            case '\\':
                if (verbatim) {
                    _svalue.push_back('\\');
                    Next();
                    break;
                }
                Next();
                switch (_currdata) {
                case 'x': {
                    Next();
                    if (!isHex(_currdata)) Error(sqmsg::HexadecimalNumberExpected);
                    int value = 0;
                    for (int n = 0; n < 4 && isHex(_currdata); n++) {
                        value = value * 16 + hexValue(_currdata);
                        Next();
                    }
                    _svalue.push_back(static_cast<char>(value));
                    break;
                }
                case 't': _svalue.push_back('\t'); Next(); break;
                case 'a': _svalue.push_back('\a'); Next(); break;
                case 'b': _svalue.push_back('\b'); Next(); break;
                case 'n': _svalue.push_back('\n'); Next(); break;
                case 'r': _svalue.push_back('\r'); Next(); break;
                case 'v': _svalue.push_back('\v'); Next(); break;
                case 'f': _svalue.push_back('\f'); Next(); break;
                case '0': _svalue.push_back('\0'); Next(); break;
                case '\\': case '"': case '\'': _svalue.push_back(static_cast<char>(_currdata)); Next(); break;
                default: Error(sqmsg::UnrecognisedEscaperChar);
                }
                break;
            default:
                _svalue.push_back(static_cast<char>(_currdata));
                Next();
            }
        }
        Next();
        if (verbatim && _currdata == '"') {   // a doubled quote stands for one
            _svalue.push_back('"');
            Next();
            continue;
        }
        break;
    }
    if (ndelim == '\'') {
        if (_svalue.empty()) Error(sqmsg::EmptyConstant);
        if (_svalue.size() > 1) Error(sqmsg::ConstantTooLong);
        _nvalue = static_cast<signed char>(_svalue[0]);
        return TK_INTEGER;
    }
    return TK_STRING_LITERAL;
}

SQInteger SQLexer::ReadNumber()
{
    std::string text;
    int firstchar = _currdata;
    Next();
    if (firstchar == '0' && (_currdata == 'x' || _currdata == 'X')) {
        Next();
        uint32_t value = 0;
        int digits = 0;
        while (isHex(_currdata)) {
            if (++digits > 8) Error(sqmsg::TooManyDigitsForAnHexNumber);
            value = value * 16 + static_cast<uint32_t>(hexValue(_currdata));
            Next();
        }
        _nvalue = static_cast<SQInteger>(value);
        return TK_INTEGER;
    }
    if (firstchar == '0' && _currdata >= '0' && _currdata <= '7') {
        uint32_t value = 0;
        while (isDigit(_currdata)) {
            if (_currdata > '7') Error(sqmsg::InvalidOctalNumber);
            value = value * 8 + static_cast<uint32_t>(_currdata - '0');
            Next();
        }
        _nvalue = static_cast<SQInteger>(value);
        return TK_INTEGER;
    }
    text.push_back(static_cast<char>(firstchar));
    bool isFloat = false;
    while (isDigit(_currdata) || _currdata == '.') {
        if (_currdata == '.') isFloat = true;
        text.push_back(static_cast<char>(_currdata));
        Next();
    }
    if (_currdata == 'e' || _currdata == 'E') {
        if (!isFloat) Error(sqmsg::InvalidNumericFormat);
        text.push_back(static_cast<char>(_currdata));
        Next();
        if (_currdata == '-' || _currdata == '+') {
            text.push_back(static_cast<char>(_currdata));
            Next();
        }
        if (!isDigit(_currdata)) Error(sqmsg::ExponentExpected);
        while (isDigit(_currdata)) {
            text.push_back(static_cast<char>(_currdata));
            Next();
        }
    }
    if (isFloat) {
        _fvalue = static_cast<SQFloat>(strtod(text.c_str(), nullptr));
        return TK_FLOAT;
    }
    uint32_t value = 0;
    for (char d : text) value = value * 10 + static_cast<uint32_t>(d - '0');
    _nvalue = static_cast<SQInteger>(value);
    return TK_INTEGER;
}
