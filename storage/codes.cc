#include "storage/codes.h"

#include <array>
#include <iterator>

namespace ck::storage {
namespace {

constexpr std::array<std::string_view, 105> kOpNames = {
    "(0)", "ADD", "BOF", "BUILDfile", "APPEND", "BUILDdyn", "BUILDkey", "CLOSE", "COMMIT", "COPY",
    "CREATE", "DELETE", "DUPLICATE", "EMPTY", "EOF", "GETfilekey", "GETfileptr", "GETkeyptr",
    "HOLDfile", "HOLDfilesec", "LOCKfile", "LOCKfilesec", "LOGOUT", "NAME", "NEXT", "OPEN",
    "PACK", "POINTERfile", "POINTERkey", "FLUSH", "PUT", "PREVIOUS", "RECORDSfile", "RECORDSkey",
    "BUILDdynfilter", "STARTRAN", "RELEASE", "REMOVE", "RENAME", "ENDTRAN", "ROLLBACK",
    "SETfile", "SETfilekey", "SETfileptr", "SETkey", "SETkeykey", "SETkeyptr", "SETkeykeyptr",
    "SHARE", "SKIP", "UNLOCK", "ADDfilelen", "BYTES", "GETfileptrlen", "PUTfileptr",
    "PUTfileptrlen", "STREAM", "DUPLICATEkey", "WATCH", "APPENDlen", "SEND", "POSITIONfile",
    "POSITIONkey", "RESETfile", "RESETkey", "NOMEMO", "REGETfile", "REGETkey", "NULL",
    "SETNULL", "SETNONULL", "SET_PROPERTY", "GET_PROPERTY", "QUERY_KEY", "QUERY_VIEW",
    "BLOB_YIELD", "BLOB_TAKE", "BLOB_SIZE", "BLOB_SET_PROP", "BLOB_GET_PROP", "BUFFER",
    "SETview", "CLEAR", "RESETviewfile", "BUILDevent", "SETPROPERTYkey", "GETPROPERTYkey",
    "Internal87", "DO_PROPERTY", "DOPROPERTYkey", "DOPROPERTYblob", "Internal91", "INVIEW",
    "ENDVIEW", "Internal94", "COUNTRECORDS", "GETNULLS", "SETNULLS", "GETSTATE",
    "RESTORESTATE", "Internal100", "(101)", "FREESTATE", "SQLCALLBACK", "DESTROY",
};

constexpr std::array<std::string_view, 31> kFieldTypeNames = {
    "END", "BYTE", "SHORT", "USHORT", "DATE", "TIME", "LONG", "ULONG", "SREAL", "REAL",
    "DECIMAL", "PDECIMAL", "DUM1", "BFLOAT4", "BFLOAT8", "ANY", "TEMPUFO", "(17)", "STRING",
    "CSTRING", "PSTRING", "MEMO", "GROUP", "CLASS", "ARRAY", "FIELD", "QUEUE", "BLOB",
    "STACKSTR", "PICTURE", "STDNUM",
};

struct NumberedText {
  int number;
  std::string_view text;
};

constexpr NumberedText kErrorTexts[] = {
    {2, "File Not Found"},
    {3, "Path Not Found"},
    {4, "Too Many Open Files"},
    {5, "Access Denied"},
    {7, "Memory Corrupted"},
    {8, "Insufficient Memory"},
    {15, "Bad drive"},
    {30, "Entry Not Found"},
    {32, "File Is Already Locked"},
    {33, "Record Not Available"},
    {35, "Record Not Found"},
    {36, "Invalid Data File"},
    {37, "File Not Open"},
    {38, "Invalid Key File"},
    {40, "Creates Duplicate Key"},
    {43, "Record Is Already Held"},
    {45, "Invalid Filename"},
    {46, "Key File Must Be Rebuilt"},
    {47, "Invalid Record Declaration"},
    {48, "Unable To Log Transaction"},
    {52, "File Already Open"},
    {53, "Invalid Corvane File"},
    {54, "No Create Attribute"},
    {55, "File Must Be Shared"},
    {56, "LOGOUT Already Active"},
    {57, "Invalid Memo File"},
    {63, "Exclusive Access Required"},
    {64, "Sharing Violation"},
    {65, "Unable To ROLLBACK Transaction"},
    {73, "Memo File Missing"},
    {75, "Invalid Field Type Descriptor"},
    {76, "Invalid Index String"},
    {77, "Unable To Access Index"},
    {78, "Invalid Number Of Parameters"},
    {79, "Unsupported Data Type In File"},
    {80, "Unsupported File Driver Function"},
    {81, "Unknown Error Posted"},
    {88, "Invalid Key Length"},
    {89, "Record Changed By Another Station"},
    {90, "File System Error"},
    {91, "LOGOUT Not Active"},
    {92, "BUILD In Progress"},
    {93, "BUILD Cancelled"},
    {95, "Server Not Found"},
    {96, "Remote Object Not Found"},
    {97, "Stream Error"},
    {99, "Bad Error"},
    {100, "Trigger Error"},
};

// Operating-system error n is entry 300 + n; the table below is keyed by n.
constexpr NumberedText kSystemErrorTexts[] = {
    {1, "Invalid Function"},
    {2, "File Not Found"},
    {3, "Path Not Found"},
    {4, "Too Many Open Files"},
    {5, "Access Denied"},
    {6, "Invalid Handle"},
    {7, "Memory Corrupted"},
    {8, "Insufficient Memory"},
    {9, "Invalid Memory Block"},
    {10, "Invalid Environment"},
    {11, "Invalid Format"},
    {12, "Invalid Access"},
    {13, "Invalid Data"},
    {15, "Invalid Drive"},
    {16, "Invalid Operation For Current Directory"},
    {17, "Not Same Device"},
    {18, "No More Files"},
    {19, "Write Protect"},
    {20, "Invalid Unit"},
    {21, "Device Not Ready"},
    {22, "Invalid Command"},
    {23, "Media Checksum Failed"},
    {24, "Invalid Length"},
    {25, "Seek Location Inaccessible"},
    {26, "Not DOS Disk"},
    {27, "Sector Not Found"},
    {28, "Out Of Paper"},
    {29, "Write Fault"},
    {30, "Read Fault"},
    {31, "General Failure"},
    {32, "Sharing Violation"},
    {33, "Lock Violation"},
    {34, "Wrong Disk"},
    {35, "FCB Unavailable"},
    {36, "Sharing Buffer Exceeded"},
    {37, "Code Page Mismatched"},
    {38, "Handle EOF"},
    {39, "Handle Disk Full"},
    {50, "Not Supported "},
    {51, "REM Not List"},
    {52, "Duplicate Name Encountered"},
    {53, "Invalid Network Path"},
    {54, "Network Busy"},
    {55, "Device Does Not Exist"},
    {56, "Too Many Commands"},
    {57, "Adapter/Hardware Failure"},
    {58, "Invalid Network Response"},
    {59, "Unexpected Network Error"},
    {60, "Invalid REM Adapter"},
    {61, "Print Queue Full"},
    {62, "No Spool Space"},
    {63, "Print Cancelled"},
    {64, "Network Name Deleted"},
    {65, "Network Access Denied"},
    {66, "Invalid Device Type"},
    {67, "Invalid Network Name"},
    {68, "Too Many Names"},
    {69, "Too Many Sessions"},
    {70, "Sharing Paused"},
    {71, "Request Not Accepted"},
    {72, "Network Redirection Paused"},
    {80, "File Already Exists"},
    {81, "Duplicate FCB"},
    {82, "Cannot Make"},
    {83, "Fail Critical Error"},
    {84, "Out Of Structures"},
    {85, "Already Assigned"},
    {86, "Invalid Password"},
    {87, "Invalid Parameter"},
    {88, "Network Write Fault"},
    {90, "System Component Not Loaded"},
    {91, "Unknown Error"},
};

template <size_t N>
std::string_view Lookup(const NumberedText (&table)[N], int number) {
  for (const NumberedText& entry : table) {
    if (entry.number == number) return entry.text;
  }
  return {};
}

}  // namespace

std::string_view OpName(int op) {
  if (op < 0 || op >= static_cast<int>(kOpNames.size())) return {};
  return kOpNames[op];
}

std::string_view FieldTypeName(int type) {
  if (type < 0 || type >= static_cast<int>(kFieldTypeNames.size())) return "UNKNOWN";
  return kFieldTypeNames[type];
}

std::string_view ErrorText(int code) { return Lookup(kErrorTexts, code); }

std::string_view SystemErrorText(int n) { return Lookup(kSystemErrorTexts, n); }

}  // namespace ck::storage
