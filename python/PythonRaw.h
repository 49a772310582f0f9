// What the module's files share: the Raw as Python sees it, and the
// readers of the arguments its functions take.
#pragma once

#include "probe/AreaStats.h"
#include "python/LoadedRaw.h"

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>

// One loaded file, as Python sees it. close() lets go of the samples; the
// arrays handed out keep their own share.
class CPythonRaw
{
public:
    CPythonRaw(std::shared_ptr<CLoadedRaw> loaded, pybind11::object path)
        : m_loaded(std::move(loaded)), m_path(std::move(path)), m_size(m_loaded->Raw().m_fileSize)
    {
    }

    const pybind11::object& Path() const { return m_path; }
    int64_t Size() const { return m_size; }
    int64_t HeaderBytes() const { return m_size - CRawX10::kTailBytes; }
    bool Closed() const { return !m_loaded; }
    void Close() { m_loaded.reset(); }

    // The loaded file; ValueError once closed.
    std::shared_ptr<CLoadedRaw> Open() const
    {
        if (!m_loaded)
            throw pybind11::value_error("operation on a closed diagraw.Raw");
        return m_loaded;
    }

private:
    std::shared_ptr<CLoadedRaw> m_loaded;
    pybind11::object m_path;  // os.fspath of the path given to load()
    int64_t m_size;
};

// The int that value's __index__ gives (TypeError for anything without one).
pybind11::object IndexOf(pybind11::handle value);

// A whole number from anything with __index__ (TypeError otherwise); values
// beyond 64 bits saturate.
int64_t WholeNumber(pybind11::handle value);

// The Python value of a JSON text the library wrote.
pybind11::object FromJson(const std::string& text);

// An area (x, y, width, height) from any sequence of four whole numbers
// (TypeError otherwise); ValueError in the probe's words for one that is
// empty or reaches outside the side x side image.
ImageArea AreaOf(pybind11::handle value, int32_t side);

// The analysis: diagraw._core's functions and classes behind diagraw.analysis.
void DefineAnalysis(pybind11::module_& m);
