# Sources of tolvi_core in src/fourier, listed by name.
list(APPEND TOLVI_CORE_SOURCES
    src/fourier/fourier_workspace.cpp
    src/fourier/edge_fit.cpp
    src/fourier/thickness_transform.cpp
)
