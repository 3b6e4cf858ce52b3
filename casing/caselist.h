// Conversion of a preview list in place, item by item, by one case rule. Written for any
// list with the item interface of a QTreeWidget (top-level items, text in column 0), so
// that this folder stays free of widget code. The word exceptions, when given, apply as in
// ApplyCaseMode.
#pragma once

#include "casing/caserules.h"
#include "casing/wordexceptions.h"

template <typename List>
void ConvertCaseList(List &list, CaseMode mode, const WordExceptions *words = nullptr)
{
    const int count = list.topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        auto *item = list.topLevelItem(i);
        item->setText(0, ApplyCaseMode(mode, item->text(0), words));
    }
}

template <typename List>
void UpperCaseList(List &list)
{
    ConvertCaseList(list, CaseMode::Upper);
}

template <typename List>
void LowerCaseList(List &list)
{
    ConvertCaseList(list, CaseMode::Lower);
}

template <typename List>
void ProperCaseList(List &list, const WordExceptions *words = nullptr)
{
    ConvertCaseList(list, CaseMode::Proper, words);
}

template <typename List>
void SentenceCaseList(List &list, const WordExceptions *words = nullptr)
{
    ConvertCaseList(list, CaseMode::Sentence, words);
}
