// Tokenizer of the 2.2 grammar. Errors unwind as SQCompileError (caught by the compiler).
#pragma once

#include "sqobject.h"

#include <string>

struct SQCompileError {
    std::string message;
};

enum SQToken {
    TK_EOF = 0,
    TK_IDENTIFIER = 258, TK_STRING_LITERAL, TK_INTEGER, TK_FLOAT,
    TK_EQ, TK_NE, TK_LE, TK_GE, TK_AND, TK_OR, TK_NEWSLOT, TK_PLUSEQ, TK_MINUSEQ, TK_MULEQ,
    TK_DIVEQ, TK_MODEQ, TK_PLUSPLUS, TK_MINUSMINUS, TK_SHIFTL, TK_SHIFTR, TK_USHIFTR,
    TK_DOUBLE_COLON, TK_ATTR_OPEN, TK_ATTR_CLOSE, TK_VARPARAMS,
    // keywords
    TK_BREAK, TK_CASE, TK_CATCH, TK_CLASS, TK_CLONE, TK_CONST, TK_CONSTRUCTOR, TK_CONTINUE,
    TK_DEFAULT, TK_DELEGATE, TK_DELETE, TK_DO, TK_ELSE, TK_ENUM, TK_EXTENDS, TK_FALSE, TK_FOR,
    TK_FOREACH, TK_FUNCTION, TK_IF, TK_IN, TK_INSTANCEOF, TK_LOCAL, TK_NULL, TK_PARENT,
    TK_RESUME, TK_RETURN, TK_STATIC, TK_SWITCH, TK_THIS, TK_THROW, TK_TRUE, TK_TRY, TK_TYPEOF,
    TK_VARGC, TK_VARGV, TK_WHILE, TK_YIELD,
};

class SQLexer {
public:
    SQLexer(SQLEXREADFUNC rg, SQUserPointer up);
    void Begin();   // reads the first character; may throw SQCompileError
    SQInteger Lex();   // next token
    static const char* KeywordName(SQInteger tok);   // nullptr for non-keywords

    std::string _svalue;   // identifier or string literal bytes
    SQInteger _nvalue = 0;
    SQFloat _fvalue = 0;
    SQInteger _currentline = 1;
    SQInteger _currentcolumn = 0;
    SQInteger _lasttokenline = 1;
    SQInteger _prevtoken = -1;
    bool _newlineBefore = false;   // a line break came before the current token

private:
    [[noreturn]] void Error(const char* msg);
    void Next();
    SQInteger LexToken();
    SQInteger ReadString(int ndelim, bool verbatim);
    SQInteger ReadNumber();
    SQInteger ReadId();
    void LexBlockComment();
    void LexLineComment();

    SQLEXREADFUNC _readf;
    SQUserPointer _up;
    int _currdata = 0;
};
