#pragma once

namespace db {

// ADO DataTypeEnum codes as the record sets report them in Field::type(). The
// operations choose how to write a value by these numbers.
namespace ado {
inline constexpr int kEmpty = 0;
inline constexpr int kSmallInt = 2;
inline constexpr int kInteger = 3;
inline constexpr int kSingle = 4;
inline constexpr int kDouble = 5;
inline constexpr int kCurrency = 6;
inline constexpr int kDate = 7;
inline constexpr int kBSTR = 8;
inline constexpr int kBoolean = 11;
inline constexpr int kVariant = 12;
inline constexpr int kDecimal = 14;
inline constexpr int kTinyInt = 16;
inline constexpr int kUnsignedTinyInt = 17;
inline constexpr int kUnsignedSmallInt = 18;
inline constexpr int kUnsignedInt = 19;
inline constexpr int kBigInt = 20;
inline constexpr int kUnsignedBigInt = 21;
inline constexpr int kGUID = 72;
inline constexpr int kBinary = 128;
inline constexpr int kChar = 129;
inline constexpr int kWChar = 130;
inline constexpr int kNumeric = 131;
inline constexpr int kDBDate = 133;
inline constexpr int kDBTime = 134;
inline constexpr int kDBTimeStamp = 135;
inline constexpr int kVarChar = 200;
inline constexpr int kLongVarChar = 201;
inline constexpr int kVarWChar = 202;
inline constexpr int kLongVarWChar = 203;
inline constexpr int kVarBinary = 204;
inline constexpr int kLongVarBinary = 205;
inline constexpr int kArray = 8192;  // a flag joined with another type code
}  // namespace ado

}  // namespace db
