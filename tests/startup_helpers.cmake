# The startup reader's tests plant copies of an idle program as the entries' files.
add_dependencies(test_startup_entries idle_process)
add_dependencies(test_startup_window idle_process)
