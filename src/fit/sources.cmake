# Sources of tolvi_core in src/fit, listed by name.
list(APPEND TOLVI_CORE_SOURCES
)
