// The file control block: one per declared table and thread, owned by the
// runtime and lent to a driver for each call. It carries the declaration
// (fields, keys, memos), the record buffer, the access mode and the
// driver's private state for this table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/codes.h"

namespace ck::storage {

struct FieldDescriptor {
  uint8_t type = STRING;       // FieldType
  uint32_t offset = 0;         // byte offset in the record buffer
  uint32_t length = 0;         // length in bytes
  std::string name;            // label as declared, e.g. "PAS:ClientDomain"
  std::string externalName;    // NAME('...') attribute, "" when none
  std::string picture;         // display picture without "@", e.g. "s100"; "" when none
  uint8_t digits = 0;          // DECIMAL, PDECIMAL: total digits
  uint8_t places = 0;          // DECIMAL, PDECIMAL: decimal places
  uint32_t dim = 0;            // DIM(n); 0 when not an array
  int over = -1;               // index of the field this one is declared OVER; -1 when none
};

struct KeyComponent {
  int field = 0;               // index into FileControlBlock::fields
  bool descending = false;
};

struct KeyDescriptor {
  std::string name;            // label, e.g. "PAS:KeyClientDomain"
  std::string externalName;    // NAME('...'), e.g. "PAS:KEYCLIENTDOMAIN"; "" when none
  bool isIndex = false;        // INDEX (built on demand) rather than KEY
  bool duplicates = false;     // DUP
  bool nocase = false;         // NOCASE
  bool opt = false;            // OPT
  bool primary = false;        // PRIMARY
  std::vector<KeyComponent> components;
};

struct MemoDescriptor {
  std::string name;            // label
  std::string externalName;    // NAME('...'), "" when none
  uint32_t size = 0;           // declared size (MEMO); 0 for a BLOB
  bool blob = false;           // BLOB rather than MEMO
  bool binary = false;         // BINARY
};

// Access modes as the OPEN statement takes them: low two bits the access
// (0 read, 1 write, 2 read/write), bits 0x70 the sharing.
enum AccessMode : uint32_t {
  ReadOnly = 0x00, WriteOnly = 0x01, ReadWrite = 0x02,
  DenyAll = 0x10, DenyWrite = 0x20, DenyRead = 0x30, DenyNone = 0x40,
};
constexpr uint32_t kDefaultOpenMode = ReadWrite | DenyWrite;   // OPEN without a mode
constexpr uint32_t kDefaultShareMode = ReadWrite | DenyNone;   // SHARE without a mode

// A driver's private state for one file control block. Each driver derives
// its own; the interface only owns and destroys it.
class DriverState {
 public:
  virtual ~DriverState() = default;
};

struct FileControlBlock;

// Told before and after each operation that reaches the driver for one file
// control block (the framework's file manager watches its table with it).
class FileCallback {
 public:
  virtual ~FileCallback() = default;
  virtual void BeforeOperation(int op, FileControlBlock& fcb) = 0;
  virtual void AfterOperation(int op, FileControlBlock& fcb, int result) = 0;
};

struct FileControlBlock {
  // Declaration.
  std::string label;               // table label, e.g. "PASSWORDS"
  std::string prefix;              // field prefix, e.g. "PAS"
  std::string driverName = "VELLUM";
  std::string driverString;        // driver options, e.g. "/TCF=x.tcf"
  std::string name;                // NAME attribute: the file name (may carry "\!table")
  std::string owner;               // OWNER password; "" when none
  bool encrypt = false;            // ENCRYPT
  bool create = false;             // CREATE attribute
  bool reclaim = false;            // RECLAIM
  bool thread = false;             // THREAD
  bool oem = false;                // OEM: text stored in code page 437
  std::vector<FieldDescriptor> fields;
  std::vector<KeyDescriptor> keys;
  std::vector<MemoDescriptor> memos;

  // The record buffer (not owned) and one value per memo or blob.
  char* record = nullptr;
  uint32_t recordLength = 0;
  std::vector<std::string> memoValues;

  // Set by OPEN/SHARE.
  uint32_t accessMode = kDefaultOpenMode;

  // Called once, and cleared, before the next operation on this block.
  std::function<void()> pendingCallback;
  // Not owned; null when nobody watches this block.
  FileCallback* callback = nullptr;

  // Driver-private state; null while the table is closed.
  std::unique_ptr<DriverState> driverState;
  // Set when an operation ended in 47 or a failed CREATE: the next operation
  // (other than DESTROY) first discards driverState.
  bool broken = false;

  bool IsOpen() const { return driverState != nullptr; }
};

}  // namespace ck::storage
