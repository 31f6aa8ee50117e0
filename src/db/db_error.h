#pragma once

#include "db/numbered_error.h"

namespace zumen {

// Error numbers a caller sees for engine faults; they keep the numbers a program
// written against the original file engine would have tested for.
namespace DbErr {
constexpr int Reserved = 3000;
constexpr int NoCurrentRecord = 3021;
constexpr int UpdateWithoutEdit = 3020;
constexpr int DuplicateKey = 3022;
constexpr int FileNotFound = 3024;
constexpr int InvalidAccount = 3029;
constexpr int NoPermission = 3033;
constexpr int DiskFull = 3026;
constexpr int DiskError = 3043;
constexpr int CannotOpen = 3051;
constexpr int SyntaxError = 3075;
constexpr int NoSuchTable = 3078;
constexpr int ConnectionFailed = 3151;
constexpr int RecordDeleted = 3167;
constexpr int ChangedByOther = 3197;
constexpr int Locked = 3218;
constexpr int LockedByOther = 3260;
constexpr int NoSuchField = 3265;
constexpr int ObjectClosed = 3420;
constexpr int TypeConversion = 3421;
constexpr int UnrecognisedFormat = 3343;
} // namespace DbErr

// The one exception type of the engine layer: an error number and a Japanese description.
class DbError : public NumberedError {
public:
    DbError(int number, const QString &description)
        : NumberedError(number, description, QStringLiteral("Zumen.Database"))
    {}
};

// A save refused because the row no longer reads as it did when it was shown: another desk or
// program wrote it since. `detail` names the row and says how to see the other values.
inline DbError ChangedSinceShown(const QString &detail)
{
    return DbError(
        DbErr::ChangedByOther,
        QStringLiteral("データベース エンジンはデータを更新できません。ほかのユーザーが同じデータを同時に"
                       "変更しようとしています。") +
            u'\r' + detail);
}

} // namespace zumen
