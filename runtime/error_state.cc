#include "runtime/error_state.h"

#include <utility>

namespace ck {

ErrorState& ThreadErrorState() {
  thread_local ErrorState state;
  return state;
}

void PostError(int code, std::string text, const void* file, std::string fileName) {
  ErrorState& state = ThreadErrorState();
  state.code = code;
  state.text = std::move(text);
  state.fileErrorCode.clear();
  state.fileErrorText.clear();
  state.file = file;
  state.fileName = std::move(fileName);
}

void PostFileError(std::string fileErrorCode, std::string fileErrorText) {
  ErrorState& state = ThreadErrorState();
  state.fileErrorCode = std::move(fileErrorCode);
  state.fileErrorText = std::move(fileErrorText);
}

void ClearError() { ThreadErrorState() = ErrorState{}; }

}  // namespace ck
