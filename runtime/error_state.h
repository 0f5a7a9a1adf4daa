// The calling thread's posted error state: what the last failing record
// operation (or the runtime) left for the error manager to report.
#pragma once

#include <string>

namespace ck {

struct ErrorState {
  int code = 0;                 // error code (0: none)
  std::string text;             // its text, e.g. "Record Not Found"
  std::string fileErrorCode;    // driver error code as text ("" when none)
  std::string fileErrorText;    // driver error text
  const void* file = nullptr;   // the file control block concerned, or null
  std::string fileName;         // that file's name as the driver knows it
};

// The calling thread's error state (each thread has its own).
ErrorState& ThreadErrorState();

// Posts an error for the calling thread, replacing the previous one.
void PostError(int code, std::string text, const void* file = nullptr,
               std::string fileName = {});
// Posts a driver's own error code and text beside the error code.
void PostFileError(std::string fileErrorCode, std::string fileErrorText);
// Clears the calling thread's error state (code 0).
void ClearError();

}  // namespace ck
