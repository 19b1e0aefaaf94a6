# The Python package (python/), for the interpreter Python_EXECUTABLE: on
# Debian, /usr/bin/python3, whose NumPy, SciPy and pybind11 come from Debian
# packages (python3-numpy, python3-scipy, python3-pybind11, pybind11-dev).
# The python3 first on a PATH may be another interpreter without them, so the
# default is Debian's when it exists. Not built for Windows, for the 32-bit
# cross build or the fuzzing build, which have no Python of their own word
# size or toolchain.
option(DALVEX_PYTHON "Build the Python package dalvex" ON)
if(NOT DALVEX_PYTHON OR WIN32 OR CMAKE_CROSSCOMPILING OR DALVEX_FUZZ)
  set(DALVEX_PYTHON_BUILT OFF)
  return()
endif()
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python interpreter of the Python package")
endif()
find_package(Python 3.9 COMPONENTS Interpreter Development.Module)
set(_python_missing "")
if(Python_FOUND)
  execute_process(COMMAND ${Python_EXECUTABLE} -c "import numpy, scipy, pybind11; print(pybind11.get_cmake_dir())"
                  OUTPUT_VARIABLE _pybind11_dir OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_VARIABLE _python_missing RESULT_VARIABLE _python_status)
  if(_python_status EQUAL 0)
    find_package(pybind11 2.10 CONFIG HINTS ${_pybind11_dir})
    if(NOT pybind11_FOUND)
      set(_python_missing "pybind11's CMake package (pybind11-dev)")
    endif()
  endif()
else()
  set(_python_missing "the interpreter or its headers (python3-dev)")
endif()
if(_python_missing)
  message(FATAL_ERROR "The Python package needs, for ${Python_EXECUTABLE}: NumPy, SciPy, pybind11 and "
          "the Python headers (Debian: python3-dev python3-numpy python3-scipy python3-pybind11 "
          "pybind11-dev; scripts/setup.sh installs them). Missing: ${_python_missing}. "
          "Pass -DPython_EXECUTABLE=/usr/bin/python3 for Debian's interpreter, "
          "or -DDALVEX_PYTHON=OFF to build without the package.")
endif()
set(DALVEX_PYTHON_BUILT ON)
add_subdirectory(python)
