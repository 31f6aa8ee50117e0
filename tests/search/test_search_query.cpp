#include "search/srch_frm.h"

#include <gtest/gtest.h>

using namespace zumen;

namespace {

SearchCondition condition(std::int16_t kind, std::int16_t eda, const char *caption, const char *op,
                          const QString &value)
{
    return {LayoutItem{kind, eda, QString::fromUtf8(caption), {}}, QString::fromUtf8(caption),
            QString::fromUtf8(op), value};
}

TEST(SearchQuery, ConditionsJoinWithAndAndValuesCannotChangeTheQuery)
{
    QString refusal;
    const QString sql =
        SearchQueryText({condition(Kind::Number, 1, "数量", ">=", QStringLiteral(" １２ ")),
                         condition(Kind::Text, 2, "品名", "=", QStringLiteral("O'Brien")),
                         condition(Kind::Text, 1, "図番", "含む", QStringLiteral("A*[1")),
                         condition(Kind::Date, 1, "作成日", "<", QStringLiteral("2001/04/01")),
                         condition(Kind::Memo, 3, "備考", "含む", QStringLiteral("50%#?")),
                         condition(Kind::Text, 4, "材質", "部分一致", QStringLiteral("ﾌﾟﾚｰﾄ'*")),
                         condition(Kind::Memo, 1, "メモ", "部分一致", QStringLiteral("溶接"))},
                        refusal);
    EXPECT_EQ(sql, QStringLiteral("SELECT * FROM DT WHERE Val1 >= 12  AND Str2 ='O''Brien'  AND Str1 like "
                                  "'A[*][[]1*'  AND Date1 < #2001/04/01#  AND Text3 LIKE '*50%[#][?]*'  AND "
                                  "PartialMatch(Str4, 'ﾌﾟﾚｰﾄ''*')  AND PartialMatch(Text1, '溶接') "));
    EXPECT_EQ(refusal, QString());
}

TEST(SearchQuery, WhatTheEngineCannotReadIsRefusedNamingTheCondition)
{
    const struct {
        SearchCondition condition;
        const char *refusal;
    } cases[] = {
        {condition(Kind::Number, 1, "数量", "=", QStringLiteral("abc")),
         "条件「数量 = abc」: 値が数値ではありません。"},
        {condition(Kind::Number, 1, "数量", "=", QStringLiteral("inf")),
         "条件「数量 = inf」: 値が数値ではありません。"},
        {condition(Kind::Date, 1, "作成日", ">=", QStringLiteral("2001/02/30")),
         "条件「作成日 >= 2001/02/30」: 値が日付ではありません。"},
        {condition(Kind::Number, 1, "数量", "含む", QStringLiteral("5")),
         "条件「数量 含む 5」: 「含む」は文字とメモの項目にだけ使えます。"},
        {condition(Kind::Date, 1, "作成日", "部分一致", QStringLiteral("2001")),
         "条件「作成日 部分一致 2001」: 「部分一致」は文字とメモの項目にだけ使えます。"},
    };
    for (const auto &c : cases) {
        QString refusal;
        EXPECT_EQ(SearchQueryText(
                      {condition(Kind::Text, 1, "図番", "含む", QStringLiteral("A1")), c.condition}, refusal),
                  QString());
        EXPECT_EQ(refusal, QString::fromUtf8(c.refusal));
    }
}

} // namespace
