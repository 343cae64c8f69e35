# Sources of tolvi_core in src/fit, listed by name.
list(APPEND TOLVI_CORE_SOURCES
    src/fit/lm.cpp
    src/fit/lm_linear.cpp
    src/fit/fit_params.cpp
    src/fit/genetic.cpp
    src/fit/fit_runs.cpp
    src/fit/worker_pool.cpp
    src/fit/fit_workers.cpp
)
