# Stands in for a Python check when CMake found no Python 3: the test fails
# and says why, instead of vanishing from the suite.
message(FATAL_ERROR "Python 3 is needed to run ${WHAT}; install python3 and configure again")
