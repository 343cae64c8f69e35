# Sources of tolvi_core in src/physics, listed by name.
list(APPEND TOLVI_CORE_SOURCES
    src/physics/materials.cpp
    src/physics/material_calc.cpp
    src/physics/neutron_table.cpp
    src/physics/slab_stack.cpp
    src/physics/reflectivity.cpp
    src/physics/cpu_dispatch.cpp
    src/physics/reflectivity_base.cpp
    src/physics/reflectivity_avx2.cpp
    src/physics/reflectivity_avx512.cpp
)

# The fast reflectivity kernel is built three times, for the baseline, AVX2 and AVX-512, and
# chosen at run time (cpu_dispatch.cpp), so that one binary runs on every x86-64 machine: never
# -march=native. No -mfma: with -ffp-contract=off nothing would be fused anyway, and the three
# builds must give the same bits. sqrt needs no errno there, so it stays one instruction.
set_source_files_properties(src/physics/reflectivity_base.cpp
    PROPERTIES COMPILE_OPTIONS "-fno-math-errno")
set_source_files_properties(src/physics/reflectivity_avx2.cpp
    PROPERTIES COMPILE_OPTIONS "-mavx2;-fno-math-errno")
set_source_files_properties(src/physics/reflectivity_avx512.cpp
    PROPERTIES COMPILE_OPTIONS "-mavx512f;-fno-math-errno")
