// ASCII's character classes and letter case, one definition for every
// library: the C library's own follow the locale, and what a signature, a
// file name or a message means must not.
#pragma once

#include <algorithm>
#include <string_view>

// Upper case, as every program of ours writes hexadecimal.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit of either case, -1 for any other character.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr bool IsHexDigit(char c)
{
    return HexDigitValue(c) >= 0;
}

constexpr bool IsDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

// C's white space: space, tab, line feed, vertical tab, form feed, carriage return.
constexpr bool IsAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An ASCII letter in the other case; any other unit as it is, in narrow and
// wide text alike.
template <class Char>
constexpr Char AsciiLower(Char c)
{
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
constexpr Char AsciiUpper(Char c)
{
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

// The same text but for the case of ASCII letters.
template <class Char>
constexpr bool EqualIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](Char x, Char y) { return AsciiLower(x) == AsciiLower(y); });
}
