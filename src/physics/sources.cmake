# Sources of tolvi_core in src/physics, listed by name.
list(APPEND TOLVI_CORE_SOURCES
    src/physics/materials.cpp
    src/physics/material_calc.cpp
    src/physics/neutron_table.cpp
    src/physics/slab_stack.cpp
    src/physics/reflectivity.cpp
)
