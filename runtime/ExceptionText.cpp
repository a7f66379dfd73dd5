#include "runtime/ExceptionText.h"

#include <exception>
#include <new>

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"

namespace tolvane {

std::string_view CurrentExceptionText() noexcept {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::bad_alloc&) {
    return kSOutOfMemory;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

}  // namespace tolvane
