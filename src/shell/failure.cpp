#include "shell/failure.h"

#include <cstring>
#include <exception>
#include <new>

namespace mosaikon {

void Fail(const std::string& description) {
    throw Failure(description);
}

void FailWithSystemError(int errorNumber) {
    throw Failure(std::strerror(errorNumber));
}

std::string CurrentFailureDescription() {
    try {
        throw;
    } catch (const Failure& failure) {
        return failure.what();
    } catch (const std::bad_alloc&) {
        return failure::OutOfMemory;
    } catch (const std::length_error&) {
        return failure::OutOfMemory;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace mosaikon
