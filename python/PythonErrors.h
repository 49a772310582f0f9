// diagraw's failures as the Python exceptions a Python user expects.
//
//   a system error number    OSError of the matching subclass (FileNotFoundError,
//                            PermissionError, ...) with errno, strerror, filename;
//                            ENOMEM: MemoryError "<path>: out of memory"
//   not a regular file,      ValueError "<path>: <the program's words>"
//   a file too short
//   any other reason         OSError "<path>: <reason>"
//
// std::bad_alloc becomes MemoryError by pybind11's own translation.
#pragma once

#include "platform/Status.h"

#include <pybind11/pybind11.h>

#include <string>

// The exception for status (not kStatusOk) about the file filename (the
// object the caller named it by); text is the reason in the program's words.
pybind11::object ExceptionOfStatus(Status status, const std::string& text, pybind11::handle filename);

// Raises that exception.
[[noreturn]] void RaiseStatus(Status status, const std::string& text, pybind11::handle filename);
