// The table of words of one name rule ("van", "de", "viii"), made when the program is compiled:
// the words' keys (NameWord::Key), sorted, so that a look-up is a few comparisons and no
// allocation.
#pragma once

#include "casing/nameword.h"

#include <algorithm>
#include <array>
#include <cstddef>

template <std::size_t N>
class NameWordTable
{
public:
    // The words in small ASCII letters, at most eight each.
    consteval explicit NameWordTable(const char *const (&words)[N])
    {
        for (std::size_t i = 0; i < N; ++i) {
            char16_t units[8] = {};
            qsizetype length = 0;
            while (words[i][length])
                units[length] = char16_t(words[i][length]), ++length;
            keys_[i] = NameWord::Key(units, length);
            if (keys_[i] == 0)
                throw "a word of a name rule's table is one to eight ASCII letters";
        }
        std::sort(keys_.begin(), keys_.end());
    }

    bool contains(quint64 key) const
    {
        return key != 0 && std::binary_search(keys_.begin(), keys_.end(), key);
    }

private:
    std::array<quint64, N> keys_{};
};
