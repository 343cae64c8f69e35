# Installs the build into PREFIX and imports the module from there, loading the template.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
file(GLOB_RECURSE modules ${PREFIX}/tolvi.*.so)
list(LENGTH modules count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one installed module, found: ${modules}")
endif()
get_filename_component(folder ${modules} DIRECTORY)
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${folder} ${PYTHON} -c
            "import tolvi; m = tolvi.load(template=True); assert len(m.x) == 591; print(tolvi.__file__)"
    WORKING_DIRECTORY ${PREFIX}
    RESULT_VARIABLE imported OUTPUT_VARIABLE where)
if(NOT imported EQUAL 0 OR NOT where MATCHES "^${folder}")
    message(FATAL_ERROR "the installed module did not import from ${folder}: ${where}")
endif()
