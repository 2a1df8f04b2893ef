#include "plovik/splitter.h"

#include <cstddef>
#include <utility>

namespace plovik {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void SkipBlanks(const char*& p) {
    while (IsBlank(*p)) ++p;
}

// The byte that the escape pair at p stands for, or '\0' when p starts no pair.
// A lone backslash before the terminating NUL is no pair, so p[1] is always readable.
char EscapedByte(const char* p) {
    if (p[0] != '\\') return '\0';
    switch (p[1]) {
        case '"':
            return '"';
        case '\\':
            return '\\';
        case 'r':
            return '\r';
        case 'n':
            return '\n';
        default:
            return '\0';
    }
}

// Reads a quoted item from just behind its opening quote up to its closing quote,
// where p is left. False when the text ends first.
bool ScanQuoted(const char*& p, bool escapes, std::string& item) {
    while (*p != '\0' && *p != '"') {
        const char escaped = escapes ? EscapedByte(p) : '\0';
        if (escaped != '\0') {
            item += escaped;
            p += 2;
        } else {
            item += *p++;
        }
    }
    return *p == '"';
}

// Fields separated by commas; a field may be quoted, and then its closing quote must
// stand right before a comma or the end.
bool ScanCsv(const char* p, std::vector<std::string>& items) {
    while (*p != '\0') {
        if (!items.empty() && *p == ',') ++p;
        std::string item;
        if (*p == '"') {
            ++p;
            if (!ScanQuoted(p, true, item)) return false;
            ++p;
            if (*p != '\0' && *p != ',') return false;
        } else {
            while (*p != '\0' && *p != ',') item += *p++;
        }
        items.push_back(std::move(item));
    }
    return true;
}

// Words separated by blanks; a word may be quoted, and its closing quote ends it
// whatever follows. A text of blanks only holds one empty word.
bool ScanWords(const char* p, bool bRaw, std::vector<std::string>& items) {
    while (*p != '\0') {
        SkipBlanks(p);
        std::string item;
        if (*p == '"') {
            ++p;
            if (!ScanQuoted(p, !bRaw, item)) return false;
            ++p;
        } else {
            while (*p != '\0' && !IsBlank(*p)) item += *p++;
        }
        items.push_back(std::move(item));
        SkipBlanks(p);
    }
    return true;
}

}  // namespace

int CTokenList::ParseCsv(const char* psz) {
    RemoveAll();
    m_nBase = 0;
    if (!ScanCsv(psz != nullptr ? psz : "", m_ppItems)) {
        RemoveAll();
        return -1;
    }
    m_nCount = static_cast<int>(m_ppItems.size());
    return 0;
}

int CTokenList::ParseWords(const char* psz, bool bRaw) {
    RemoveAll();
    m_nBase = 0;
    if (!ScanWords(psz != nullptr ? psz : "", bRaw, m_ppItems)) {
        RemoveAll();
        return -1;
    }
    m_nCount = static_cast<int>(m_ppItems.size());
    return 0;
}

const char* CTokenList::GetAt(int nIndex) const {
    const long long index = static_cast<long long>(nIndex) + m_nBase;
    if (index < 0 || index >= m_nCount) return "";
    return m_ppItems[static_cast<std::size_t>(index)].c_str();
}

void CTokenList::RemoveAll() {
    m_ppItems.clear();
    m_nCount = 0;
}

int SplitString(const std::string& strSource, std::vector<std::string>* pArray, bool bWords,
                bool bRaw) {
    CTokenList tokens;
    const int result =
        bWords ? tokens.ParseWords(strSource.c_str(), bRaw) : tokens.ParseCsv(strSource.c_str());
    const int count = result < 0 ? -1 : tokens.GetSize();
    if (pArray != nullptr) {
        pArray->clear();
        for (int i = 0; i < count; ++i) pArray->emplace_back(tokens.GetAt(i));
    }
    return count;
}

}  // namespace plovik
