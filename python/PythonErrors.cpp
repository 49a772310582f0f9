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
    // The message is built as a Python str: a name that is not valid UTF-8
    // (bytes, or a str holding surrogate escapes) reads as os.fsdecode gives
    // it, and its original str comes back unchanged.
    const py::str where = py::module_::import("os").attr("fsdecode")(filename);
    if (status == ENOMEM)
        return py::reinterpret_borrow<py::object>(PyExc_MemoryError)(py::str("{}: out of memory").format(where));
    if (IsSystemError(status))
    {
        // OSError(errno, strerror, filename) makes the subclass of that errno.
        return py::reinterpret_borrow<py::object>(PyExc_OSError)(status, text, filename);
    }
    const py::str message = py::str("{}: {}").format(where, text);
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
