# The layers of the core, from the bottom up. A layer's sources see only its own folder and the
# folders of the layers below it: each target gets an include root of its own, a folder of
# symbolic links to exactly those folders of src/, so that an include against the direction
# ("fit/lm.h" in a physics source, say) fails to compile with "No such file or directory".
set(TOLVI_CORE_LAYERS base model physics fit fourier actions)

# tolvi_include_root(TARGET PRIVATE|PUBLIC|INTERFACE ROOT_NAME FOLDER...): makes the include
# root build/include-roots/ROOT_NAME holding links to src/FOLDER for each FOLDER and adds it to
# TARGET's include directories.
function(tolvi_include_root target scope root_name)
    set(root ${CMAKE_BINARY_DIR}/include-roots/${root_name})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder ${ARGN})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()
    target_include_directories(${target} ${scope} ${root})
endfunction()

# The folders a layer's sources may include from: its own and those below it.
function(tolvi_layer_folders layer out)
    set(folders)
    foreach(l ${TOLVI_CORE_LAYERS})
        list(APPEND folders ${l})
        if(l STREQUAL layer)
            set(${out} ${folders} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    message(FATAL_ERROR "${layer} is not a layer of the core")
endfunction()

# tolvi_layer(LAYER SOURCE...): the static library tolvi_LAYER of src/LAYER, linking the layer
# just below it (and so every layer below).
function(tolvi_layer layer)
    add_library(tolvi_${layer} STATIC ${ARGN})
    tolvi_layer_folders(${layer} folders)
    tolvi_include_root(tolvi_${layer} PRIVATE ${layer} ${folders})
    list(FIND TOLVI_CORE_LAYERS ${layer} index)
    if(index GREATER 0)
        math(EXPR below "${index} - 1")
        list(GET TOLVI_CORE_LAYERS ${below} below_layer)
        target_link_libraries(tolvi_${layer} PUBLIC tolvi_${below_layer})
    endif()
    # The Python module of a later issue links these into a shared object.
    set_target_properties(tolvi_${layer} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
