#include "python/PythonErrors.h"

#include <cerrno>

namespace py = pybind11;

namespace
{

// Reasons of diagraw's own lie above every system error number.
bool IsSystemError(Status status)
{
    return status > 0 && status < kStatusNotRegularFile;
}

}  // namespace

py::object ExceptionOfStatus(Status status, const std::string& text, py::handle filename)
{
    const py::str where = py::str(filename);
    if (status == ENOMEM)
        return py::reinterpret_borrow<py::object>(PyExc_MemoryError)(std::string(where) + ": out of memory");
    if (IsSystemError(status))
    {
        // OSError(errno, strerror, filename) makes the subclass of that errno.
        return py::reinterpret_borrow<py::object>(PyExc_OSError)(status, text, filename);
    }
    const std::string message = std::string(where) + ": " + text;
    if (status == kStatusNotRegularFile || status == kStatusInputTooShort)
        return py::reinterpret_borrow<py::object>(PyExc_ValueError)(message);
    return py::reinterpret_borrow<py::object>(PyExc_OSError)(message);
}

void RaiseStatus(Status status, const std::string& text, py::handle filename)
{
    const py::object exception = ExceptionOfStatus(status, text, filename);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
    throw py::error_already_set();
}
