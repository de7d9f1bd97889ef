// An ordered list of strings with the "comma text" and "name=value" conventions that the
// table lists, alias parameters and display names are exchanged in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> items) : items_(items) {}

    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](std::size_t i) const { return items_.at(i); }
    std::string& operator[](std::size_t i) { return items_.at(i); }
    void Add(std::string item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }
    void Delete(std::size_t i) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i)); }
    const std::vector<std::string>& Items() const { return items_; }
    std::vector<std::string>::const_iterator begin() const { return items_.begin(); }
    std::vector<std::string>::const_iterator end() const { return items_.end(); }

    // Index of the first item equal to `s` ignoring ASCII letter case, or -1.
    int IndexOf(std::string_view s) const;

    // Reading splits at commas and at blanks (any character <= space) outside double quotes;
    // a quoted item keeps commas and blanks, and a doubled quote inside quotes is one quote.
    // Writing joins with commas and quotes items that contain blanks, commas or quotes.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);

    // Name=value access: the name is the text before the first "=", matched ignoring ASCII case.
    int IndexOfName(std::string_view name) const;
    std::string Value(std::string_view name) const;  // empty when the name is absent
    void SetValue(std::string_view name, std::string_view value);
    static std::string ValueOf(std::string_view item);

    // One item per line, as in a text file; SetText accepts LF and CRLF.
    std::string Text() const;
    void SetText(std::string_view text);

private:
    std::vector<std::string> items_;
};

// Splits a comma text into its items (the reading rules of TStringList::SetCommaText).
std::vector<std::string> SplitCommaText(std::string_view text);

// Quotes `item` for a comma text when it holds a blank, comma or quote.
std::string QuoteCommaItem(std::string_view item);
// `item` in double quotes, inner quotes doubled: a comma-text item that always reads back whole.
std::string QuotedItem(std::string_view item);
// `item` as a CSV field (RFC 4180): quoted as QuotedItem when it holds the field separator
// (a comma unless told), a quote, CR or LF.
std::string CsvField(std::string_view item, char separator = ',');

// ASCII-only case folding: table and file names from the original platform compare this way.
bool SameTextAscii(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view s);
std::string UpperAscii(std::string_view s);

// Removes leading and trailing characters <= space.
std::string TrimBlanks(std::string_view s);

} // namespace rtl
