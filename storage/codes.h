// Operation, field type and error codes of the record-file interface, with
// the names that traces print and the texts that callers show.
#pragma once

#include <cstdint>
#include <string_view>

namespace ck::storage {

// Operation codes: dense from 0 to 104.
enum Op : int {
  ADD = 1, BOF = 2, BUILDfile = 3, APPEND = 4, BUILDdyn = 5, BUILDkey = 6, CLOSE = 7,
  COMMIT = 8, COPY = 9, CREATE = 10, DELETE = 11, DUPLICATE = 12, EMPTY = 13, EOF_ = 14,
  GETfilekey = 15, GETfileptr = 16, GETkeyptr = 17, HOLDfile = 18, HOLDfilesec = 19,
  LOCKfile = 20, LOCKfilesec = 21, LOGOUT = 22, NAME = 23, NEXT = 24, OPEN = 25, PACK = 26,
  POINTERfile = 27, POINTERkey = 28, FLUSH = 29, PUT = 30, PREVIOUS = 31, RECORDSfile = 32,
  RECORDSkey = 33, BUILDdynfilter = 34, STARTRAN = 35, RELEASE = 36, REMOVE = 37,
  RENAME = 38, ENDTRAN = 39, ROLLBACK = 40, SETfile = 41, SETfilekey = 42, SETfileptr = 43,
  SETkey = 44, SETkeykey = 45, SETkeyptr = 46, SETkeykeyptr = 47, SHARE = 48, SKIP = 49,
  UNLOCK = 50, ADDfilelen = 51, BYTES = 52, GETfileptrlen = 53, PUTfileptr = 54,
  PUTfileptrlen = 55, STREAM = 56, DUPLICATEkey = 57, WATCH = 58, APPENDlen = 59, SEND = 60,
  POSITIONfile = 61, POSITIONkey = 62, RESETfile = 63, RESETkey = 64, NOMEMO = 65,
  REGETfile = 66, REGETkey = 67, NULL_ = 68, SETNULL = 69, SETNONULL = 70,
  SET_PROPERTY = 71, GET_PROPERTY = 72, QUERY_KEY = 73, QUERY_VIEW = 74, BLOB_YIELD = 75,
  BLOB_TAKE = 76, BLOB_SIZE = 77, BLOB_SET_PROP = 78, BLOB_GET_PROP = 79, BUFFER = 80,
  SETview = 81, CLEAR = 82, RESETviewfile = 83, BUILDevent = 84, SETPROPERTYkey = 85,
  GETPROPERTYkey = 86, Internal87 = 87, DO_PROPERTY = 88, DOPROPERTYkey = 89,
  DOPROPERTYblob = 90, Internal91 = 91, INVIEW = 92, ENDVIEW = 93, Internal94 = 94,
  COUNTRECORDS = 95, GETNULLS = 96, SETNULLS = 97, GETSTATE = 98, RESTORESTATE = 99,
  Internal100 = 100, FREESTATE = 102, SQLCALLBACK = 103, DESTROY = 104,
};

// The name a trace prints for an operation code; "" outside 0..104.
std::string_view OpName(int op);

// Field type codes carried by field descriptors.
enum FieldType : uint8_t {
  END = 0, BYTE = 1, SHORT = 2, USHORT = 3, DATE = 4, TIME = 5, LONG = 6, ULONG = 7,
  SREAL = 8, REAL = 9, DECIMAL = 10, PDECIMAL = 11, DUM1 = 12, BFLOAT4 = 13, BFLOAT8 = 14,
  ANY = 15, TEMPUFO = 16, STRING = 18, CSTRING = 19, PSTRING = 20, MEMO = 21, GROUP = 22,
  CLASS = 23, ARRAY = 24, FIELD = 25, QUEUE = 26, BLOB = 27, STACKSTR = 28, PICTURE = 29,
  STDNUM = 30,
};

// The name a trace prints for a field type code; "UNKNOWN" from 31 on.
std::string_view FieldTypeName(int type);

// Error codes returned by drivers (0 is success).
enum ErrorCode : int {
  NoError = 0,
  FileNotFoundErr = 2, PathNotFoundErr = 3, TooManyOpenFilesErr = 4, AccessDeniedErr = 5,
  MemoryCorruptedErr = 7, InsufficientMemoryErr = 8, BadDriveErr = 15, EntryNotFoundErr = 30,
  IsLockedErr = 32, RecordNotAvailableErr = 33, RecordNotFoundErr = 35, InvalidFileErr = 36,
  NotOpenErr = 37, InvalidKeyFileErr = 38, DupKeyErr = 40, RecordHeldErr = 43,
  InvalidFilenameErr = 45, BadKeyErr = 46, BadRecErr = 47, LogFileErr = 48, IsOpenErr = 52,
  InvalidCorvaneFileErr = 53, NoCreateErr = 54, MustBeSharedErr = 55, LogoutActiveErr = 56,
  InvalidMemoFileErr = 57, ExclusiveAccessErr = 63, SharingViolationErr = 64,
  RollbackErr = 65, MemoFileMissingErr = 73, BadFieldTypeErr = 75, BadIndexStringErr = 76,
  NoIndexAccessErr = 77, BadParameterCountErr = 78, UnsupportedTypeErr = 79,
  NoDriverSupportErr = 80, UnknownErr = 81, BadKeyLengthErr = 88, RecordChangedErr = 89,
  FileSystemErr = 90, LogoutNotActiveErr = 91, BuildInProgressErr = 92,
  BuildCancelledErr = 93, ServerNotFoundErr = 95, RemoteObjectNotFoundErr = 96,
  StreamErr = 97, BadErrorErr = 99, TriggerErr = 100,
};

// The text of an error code, e.g. ErrorText(35) == "Record Not Found"; "" when unknown.
std::string_view ErrorText(int code);

// The text of an operating-system error n, the entry 300 + n of the second table;
// "" when the table has no such entry.
std::string_view SystemErrorText(int n);

}  // namespace ck::storage
