// The record statements of the runtime: one thin function per statement over
// DriverEntry. Each clears the calling thread's error state, makes its
// driver call(s), leaves a failure posted in that state (code, text, file)
// and returns the error code, 0 on success. A driver's "-1" (success that
// posts nothing) returns whatever the driver itself posted, normally 0.
//
// Keys are numbered as FileControlBlock::keys; positions are the opaque
// values that Position/PositionKey hand out and Reset/Reget take back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "storage/driver.h"
#include "storage/file_control_block.h"

namespace ck::storage {

// Opening and closing. The mode is an AccessMode combination.
int Open(FileControlBlock& fcb, uint32_t accessMode = kDefaultOpenMode);
int Share(FileControlBlock& fcb, uint32_t accessMode = kDefaultShareMode);
int Create(FileControlBlock& fcb);
int Close(FileControlBlock& fcb);

// Sequence setting for Next/Previous.
int Set(FileControlBlock& fcb);                                 // record order, from the start
int SetPointer(FileControlBlock& fcb, uint32_t pointer);        // record order, from a record
int SetFileKey(FileControlBlock& fcb, int key);                 // record order, from the key value
int SetKey(FileControlBlock& fcb, int key);                     // key order, from the start
int SetKeyValue(FileControlBlock& fcb, int key);                // key order, from the buffer's value
int SetKeyPointer(FileControlBlock& fcb, int key, uint32_t pointer);
int SetKeyValuePointer(FileControlBlock& fcb, int key, uint32_t pointer);
int Reset(FileControlBlock& fcb, std::string_view position);    // record order, at a position
int ResetKey(FileControlBlock& fcb, int key, std::string_view position);

// Reading.
// Next and Previous fetch records ahead, this many a batch under one access
// (0: each read on its own), a batch serving at most seconds (0: no limit).
int Buffer(FileControlBlock& fcb, int32_t records, uint32_t seconds = 0);
int Next(FileControlBlock& fcb);
int Previous(FileControlBlock& fcb);
int Skip(FileControlBlock& fcb, int32_t count);
int GetByKey(FileControlBlock& fcb, int key);                   // by the buffer's key value
int GetByPointer(FileControlBlock& fcb, uint32_t pointer);
int GetByKeyPointer(FileControlBlock& fcb, int key, uint32_t pointer);
int Reget(FileControlBlock& fcb, std::string_view position);
int RegetKey(FileControlBlock& fcb, int key, std::string_view position);

// Writing.
int Add(FileControlBlock& fcb);
int Add(FileControlBlock& fcb, uint32_t length);                // ADDfilelen
int Append(FileControlBlock& fcb);
int Append(FileControlBlock& fcb, uint32_t length);             // APPENDlen
int Put(FileControlBlock& fcb);
int Delete(FileControlBlock& fcb);
// *duplicates is set when the buffer's value in key belongs to another record.
// REQUIRES: duplicates != nullptr.
int Duplicate(FileControlBlock& fcb, int key, bool* duplicates);

// Holds, watches and locks.
int Hold(FileControlBlock& fcb);                                // the next read holds its record
int Hold(FileControlBlock& fcb, uint32_t seconds);              // ... waiting at most seconds
int Release(FileControlBlock& fcb);
int Watch(FileControlBlock& fcb);
int NoMemo(FileControlBlock& fcb);
int Lock(FileControlBlock& fcb);
int Lock(FileControlBlock& fcb, uint32_t seconds);
int Unlock(FileControlBlock& fcb);

// Transactions. Logout takes the process-wide transaction lock for this
// thread and enlists every file; when one cannot be enlisted, the ones
// already enlisted are rolled back, the lock is given up and the failure
// returned. Commit and Rollback end the transaction and give the lock up
// (a failed Commit rolls back first). Commit without a Logout returns 91;
// Rollback without one does nothing and returns 0.
// REQUIRES: every pointer in files is non-null.
int Logout(uint32_t seconds, std::span<FileControlBlock* const> files);
int Logout(uint32_t seconds, std::initializer_list<FileControlBlock*> files);
int Commit();
int Rollback();
// True while the calling thread has a transaction open.
bool LogoutActive();

// Information. REQUIRES: the out pointer is non-null.
int Send(FileControlBlock& fcb, std::string_view option, std::string* value);
int Records(FileControlBlock& fcb, int64_t* count);
int RecordsKey(FileControlBlock& fcb, int key, int64_t* count);
int Pointer(FileControlBlock& fcb, int64_t* pointer);
int PointerKey(FileControlBlock& fcb, int key, int64_t* pointer);
int Position(FileControlBlock& fcb, std::string* position);
int PositionKey(FileControlBlock& fcb, int key, std::string* position);

// Read states: GetState keeps the block's sequence and current record under
// a handle, RestoreState puts them back (the record buffer is not read
// again), FreeState forgets the handle.
int GetState(FileControlBlock& fcb, int64_t* handle);
int RestoreState(FileControlBlock& fcb, int64_t handle);
int FreeState(FileControlBlock& fcb, int64_t handle);

// Maintenance.
int Flush(FileControlBlock& fcb);
int Stream(FileControlBlock& fcb);
int Build(FileControlBlock& fcb);                               // every key
int BuildKey(FileControlBlock& fcb, int key);
int Empty(FileControlBlock& fcb);
int Pack(FileControlBlock& fcb);
int Remove(FileControlBlock& fcb);
int Rename(FileControlBlock& fcb, std::string_view newName);
int Copy(FileControlBlock& fcb, std::string_view newName);

}  // namespace ck::storage
