// The file manager: one table of the record-file interface as the procedures
// of one thread use it. It counts the procedures that have the table open,
// opens it physically at the first record access (lazy open), recovers a
// table left locked, falls back to read-only access, creates a missing table
// and rebuilds damaged keys, and turns every driver failure into a message of
// the error manager with the table's name filled in.
//
// Each record operation has a reporting form, which shows the message and
// returns the error manager's level, and a quiet form (prefix Try), which
// only records the message identifier in LastError and returns a level.
// Every operation is virtual so that a table's derived manager can replace
// it; none throws. One manager per table and thread. Not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"
#include "runtime/field_ref.h"
#include "storage/file_control_block.h"

namespace ck {

class ErrorManager;
class FileManager;
class RelationManager;

// Largest position text kept for a saved state or an update.
inline constexpr size_t PositionSize = 1024;
// The default open mode: read/write, deny none.
inline constexpr uint8_t DefaultOpenMode = 0x42;

// The same field as field (which lies in the record buffer buffer) inside a
// copy of that buffer. REQUIRES: image is at least as long as the buffer.
FieldRef FieldIn(const FieldRef& field, const char* buffer, std::string& image);

// The callback the record-file interface calls around each driver operation
// on the table; it hands the calls to the manager's file-callback operations.
class FileManagerCallback : public storage::FileCallback {
 public:
  explicit FileManagerCallback(FileManager* owner) : owner_(owner) {}
  void BeforeOperation(int op, storage::FileControlBlock& fcb) override;
  void AfterOperation(int op, storage::FileControlBlock& fcb, int result) override;

 private:
  FileManager* owner_;
};

struct FileBufferEntry {
  long ID = 0;
  std::string BUFFER;
};

struct FileFieldEntry {
  std::string TAG;
  FieldRef FLD;
  std::string FTYPE;
  std::string FPICTURE;
};

struct KeyFieldEntry {
  FieldRef FIELD;
  std::string FIELDNAME;
  uint8_t ASCEND = 1;
};

struct FileKeyEntry {
  int KEY = 0;  // index into the table's keys
  std::string PDESCRIPTION;
  std::vector<KeyFieldEntry> FIELDS;
  uint8_t AUTOINC = 0;
  uint8_t DUPS = 0;
  uint8_t NOCASE = 0;
};

struct FileStateEntry {
  uint16_t BUFFER = 0;  // identifier of the buffer copy in Buffers
  uint16_t ID = 0;
  uint8_t AUTOINCDONE = 0;
  int32_t STATE = 0;    // the driver's read-state handle; 0 when none was kept
  std::string POS;
};

class FileManager {
 public:
  FileManager();
  virtual ~FileManager();
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // --- Initialisation and tear-down ---
  // Stores the table and the error manager and sets the defaults.
  // REQUIRES: file and errors outlive the manager (until Kill).
  virtual Level Init(storage::FileControlBlock& file, ErrorManager& errors);
  // Closes the table if it is still open and disposes the tables.
  virtual Level Kill();
  // Registers key number key (an index into the table's keys) with its
  // components. REQUIRES: key < File->keys.size().
  virtual Level AddKey(int key, std::string_view description, bool autoInc = false);
  virtual Level AddField(std::string_view tag, FieldRef field, std::string_view type,
                         std::string_view picture);

  // --- Opening and closing ---
  virtual Level Open();
  virtual Level TryOpen();
  virtual Level Close();
  // Makes the table usable for a record operation (the lazy open).
  virtual Level UseFile(int mode = 2);
  // The physical open; reporting raises the messages, otherwise they are
  // only recorded and a failure returns Notify.
  virtual Level OpenFile(bool reporting);

  // --- Record operations ---
  virtual Level Next();
  virtual Level TryNext();
  virtual Level Previous();
  virtual Level TryPrevious();
  virtual Level Insert();
  virtual Level TryInsert();
  virtual Level Update();
  virtual Level TryUpdate();
  // mode 0 quiet, 1 reporting, 2 reporting with recall (message 8).
  virtual Level UpdateRecord(int mode);
  // key: a registered key's table index.
  virtual Level TryFetch(int key);
  virtual Level TryDelete(bool ask);

  // --- Priming, comparing, validation ---
  // Clears the record buffer and, for a table with an auto-increment key,
  // reserves the next number when primeAutoInc is set.
  virtual Level PrimeRecord(bool primeAutoInc = false);
  virtual Level PrimeAutoInc();
  virtual Level TryPrimeAutoInc();
  // Deletes a reserved auto-increment record again (the insert was cancelled).
  virtual Level CancelAutoInc(RelationManager* relation = nullptr);
  // 0 when the buffer equals the copy saved under id, 1 when it differs or
  // there is no such copy.
  virtual int EqualBuffer(long id);
  // 0 when the field (number in Fields, from 1) or the record may be written.
  virtual Level ValidateField(int field);
  virtual Level ValidateRecord();

  // --- File callbacks (around each driver operation on the table) ---
  virtual void BeforeFileOperation(int op);
  virtual void AfterFileOperation(int op, int result);

  // --- Error helpers ---
  virtual void SetError(int id);
  virtual Level RaiseLastError();
  virtual Level Throw(int id);
  virtual Level ThrowMessage(int id, std::string_view text);

  // --- State saving ---
  virtual long SaveBuffer();
  virtual void RestoreBuffer(long id);
  // The whole table state: the record buffer, the driver's read state (the
  // order being read and the place in it, so a view reading through the
  // table goes on where it was), the current record and AutoIncDone.
  virtual uint16_t SaveFile();
  virtual void RestoreFile(uint16_t id);

  // The name used in messages: the variable's value when one is given.
  std::string GetName() const;
  // The record buffer as text (REQUIRES: Init ran).
  std::string BufferImage() const;
  void SetBufferImage(std::string_view image);
  // The position of the current record by PrimaryKey or record position.
  int TakePosition(std::string* position);
  // Reads the record at a position taken by TakePosition.
  int ReadPosition(std::string_view position);

  // --- Members, in declaration order ---
  FileManagerCallback FileCallbackInterface{this};
  FileManager* AliasedFile = nullptr;
  char* Buffer = nullptr;
  std::vector<FileBufferEntry> Buffers;
  uint8_t Create = 1;
  ErrorManager* Errors = nullptr;
  std::vector<FileFieldEntry> Fields;
  const std::vector<storage::FieldDescriptor>* FieldTypes = nullptr;
  storage::FileControlBlock* File = nullptr;
  FieldRef FileName;
  std::string FileNameValue;
  uint8_t HasAutoInc = 0;
  uint8_t InUseFile = 0;
  uint8_t InCallback = 0;
  uint8_t InClose = 0;
  uint8_t InRestore = 0;
  uint8_t Used = 0;
  int32_t Opened = 0;
  uint8_t AtEOF = 0;
  uint8_t AutoIncDone = 0;
  int32_t LastError = 0;
  uint8_t LazyOpen = 1;
  int16_t LockRecover = 10;
  uint8_t OpenMode = DefaultOpenMode;
  uint8_t PrimaryKey = 0;
  std::vector<FileStateEntry> Saved;
  uint8_t SkipHeldRecords = 0;
  uint8_t CleanedUp = 0;
  std::vector<FileKeyEntry> Keys;
  uint8_t BlobChanged = 0;
  std::string PreviousBuffer;
  uint8_t SavePreviousBuffer = 0;

 protected:
  // Next or Previous, quiet or reporting.
  Level ReadSequential(bool forward, bool reporting);
  Level InsertRecord(bool reporting);
  Level Report(int id, bool reporting, Level quietLevel);
  // The record's auto-increment key entry; null when none.
  const FileKeyEntry* AutoIncKey() const;
  Level ReserveAutoInc(bool reporting);

 private:
  long lastBufferId_ = 0;
  std::string autoIncPosition_;    // where the reserved record was added
  std::vector<std::string> memosAtRead_;
};

}  // namespace ck
