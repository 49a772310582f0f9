# Installs a built diagraw into a scratch prefix and uses it from outside:
# checks the installed layout, runs the installed programs, then configures,
# builds and runs the consumer project of this folder against the prefix.
#
# cmake -DDIAGRAW_BUILD_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX_COMPILER=...
#       -DCXX_FLAGS=... -DLINKER_FLAGS=... -DBUILD_TYPE=... -DLIBDIR=lib
#       -P RunConsumer.cmake
# Fails (non-zero exit) with a message naming the step that went wrong.
foreach(required DIAGRAW_BUILD_DIR WORK_DIR GENERATOR CXX_COMPILER BUILD_TYPE LIBDIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "RunConsumer.cmake needs -D${required}=...")
  endif()
endforeach()
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs one command; stops the test with its output when it fails.
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
endfunction()

run_step("cmake --install" ${CMAKE_COMMAND} --install ${DIAGRAW_BUILD_DIR} --prefix ${prefix})

foreach(installed
    bin/diagraw bin/diagraw-synth bin/diagraw-probe share/man/man1/diagraw.1 share/doc/diagraw/LICENSE
    ${LIBDIR}/libdiagraw.a
    include/diagraw/raw/RawX10.h include/diagraw/formats/BmpWriter.h include/diagraw/demosaic/Demosaic.h
    ${LIBDIR}/cmake/diagraw/diagrawConfig.cmake ${LIBDIR}/cmake/diagraw/diagrawConfigVersion.cmake)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
# Only the library's own files go into the prefix, and of its headers only the
# public ones: nothing of the tests, the benchmarks or the chart library, and
# not the file layer, the buffer keeper or the fast scan's insides.
# The Python package, when built, goes in PYTHON_MODULE_DIR/diagraw.
set(python_files "")
if(PYTHON_MODULE_DIR)
  set(python_files "|${PYTHON_MODULE_DIR}/diagraw/(_core\\.cpython-[^/]*\\.so|__init__\\.py|analysis\\.py|_core\\.pyi|py\\.typed)")
endif()
file(GLOB_RECURSE everything RELATIVE ${prefix} ${prefix}/*)
foreach(file IN LISTS everything)
  if(NOT file MATCHES "^(bin/diagraw|bin/diagraw-synth|bin/diagraw-probe|bin/diagraw-export|bin/diagraw-view|share/man/man1/diagraw[a-z-]*\\.1|share/doc/diagraw/LICENSE|${LIBDIR}/libdiagraw\\.a|include/diagraw/(platform/Status|raw/RawX10|raw/Samples|raw/PackedSamples|raw/Placement|raw/Lattice|raw/RafHeader|formats/BmpWriter|formats/BmpStream|previews/Previews|demosaic/Demosaic|demosaic/Gradients|demosaic/ColourSums|demosaic/Upright)\\.h|${LIBDIR}/cmake/diagraw/diagraw[A-Za-z-]*\\.cmake${python_files})$")
    message(FATAL_ERROR "installed but not expected: ${file}")
  endif()
endforeach()

# The installed programs run from the prefix: the chart is the consumer's
# input, and the usage text names the program.
run_step("installed diagraw-synth" ${prefix}/bin/diagraw-synth ${WORK_DIR}/chart.raf)
run_step("installed diagraw-probe" ${prefix}/bin/diagraw-probe stats ${WORK_DIR}/chart.raf)
execute_process(COMMAND ${prefix}/bin/diagraw RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 1 OR NOT out MATCHES "\nUsage:\n[^\n]*bin/diagraw: <\\.raf>\n$")
  message(FATAL_ERROR "installed diagraw without an argument: status ${status}, output:\n${out}")
endif()
# The installed Python module imports from the prefix (PYTHON, the
# interpreter it was built for, is left out of a sanitizer build).
if(PYTHON_MODULE_DIR AND PYTHON)
  run_step("the installed Python module" ${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_MODULE_DIR}
    ${PYTHON} -c "import diagraw; assert diagraw.load('${WORK_DIR}/chart.raf').demosaic().shape == (5088, 5088, 3)")
endif()

run_step("configuring the consumer" ${CMAKE_COMMAND}
  -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON)
run_step("building the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("running the consumer" ${WORK_DIR}/build/consumer ${WORK_DIR}/chart.raf ${WORK_DIR}/one.bmp)
file(SIZE ${WORK_DIR}/one.bmp written)
if(NOT written EQUAL 58)
  message(FATAL_ERROR "the consumer's 1 x 1 image has ${written} bytes, not 58")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "installed tree used from a consumer project: ok")
