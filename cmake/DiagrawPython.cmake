# Finds what the Python module needs: Python 3 with its development files and
# numpy, and pybind11. Sets DIAGRAW_PYTHON_FOUND, or says in the configure
# output why the module is skipped.
#
# The python3 first on PATH may be a second interpreter without numpy (a
# pyenv one, for instance). Unless Python3_EXECUTABLE is given, the first of
# Debian's /usr/bin/python3 and the python3 on PATH that imports numpy is
# taken.
set(DIAGRAW_PYTHON_FOUND OFF)
if(NOT Python3_EXECUTABLE)
  find_program(DIAGRAW_PYTHON3_ON_PATH NAMES python3)
  foreach(candidate /usr/bin/python3 ${DIAGRAW_PYTHON3_ON_PATH})
    if(EXISTS "${candidate}")
      execute_process(COMMAND "${candidate}" -c "import numpy" RESULT_VARIABLE numpy_missing
                      OUTPUT_QUIET ERROR_QUIET)
      if(numpy_missing EQUAL 0)
        set(Python3_EXECUTABLE "${candidate}" CACHE FILEPATH "Python interpreter of the diagraw module")
        break()
      endif()
    endif()
  endforeach()
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module NumPy QUIET)
if(NOT Python3_FOUND)
  message(STATUS "Python module diagraw: SKIPPED, no Python 3 with development files and numpy "
                 "(apt-get install python3-dev python3-numpy, or -DPython3_EXECUTABLE=...)")
  return()
endif()
find_package(pybind11 2.6 CONFIG QUIET)
if(NOT pybind11_FOUND)
  message(STATUS "Python module diagraw: SKIPPED, pybind11 not found (apt-get install pybind11-dev)")
  return()
endif()
set(DIAGRAW_PYTHON_FOUND ON)
message(STATUS "Python module diagraw: built for ${Python3_EXECUTABLE} (Python ${Python3_VERSION}, "
               "numpy ${Python3_NumPy_VERSION}, pybind11 ${pybind11_VERSION})")
