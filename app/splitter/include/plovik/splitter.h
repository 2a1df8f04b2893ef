// Cuts one 8-bit string into items: a comma grammar and a word grammar.
#pragma once

#include <string>
#include <vector>

namespace plovik {

class CTokenList {
  public:
    CTokenList() = default;
    ~CTokenList() { RemoveAll(); }
    CTokenList(const CTokenList&) = delete;
    CTokenList& operator=(const CTokenList&) = delete;

    int ParseCsv(const char* psz);               // 0, or -1 on a syntax error
    int ParseWords(const char* psz, bool bRaw);  // 0, or -1 on a syntax error
    int GetSize() const { return m_nCount - m_nBase; }
    const char* GetAt(int nIndex) const;  // "" when out of range
    void RemoveAll();

  private:
    int m_nBase = 0;
    int m_nCount = 0;
    std::vector<std::string> m_ppItems;
};

// Fills *pArray with the items and returns their count, or empties it and returns -1.
int SplitString(const std::string& strSource, std::vector<std::string>* pArray, bool bWords,
                bool bRaw);

}  // namespace plovik
