# The profile file reader/writer, the settings file solvane.ini and where the program's files go.
solvane_core_test(settings_tests settings/ProfileFileTest.cpp settings/SettingsFileTest.cpp
                  settings/FileLocationsTest.cpp)
