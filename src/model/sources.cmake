# Sources of tolvi_core in src/model, listed by name.
list(APPEND TOLVI_CORE_SOURCES
    src/model/model_store.cpp
    src/model/text_io.cpp
    src/model/param_file.cpp
    src/model/layer_setup.cpp
    src/model/data_file.cpp
    src/model/profile.cpp
    src/model/slots.cpp
    src/model/tables.cpp
    src/model/exports.cpp
)
