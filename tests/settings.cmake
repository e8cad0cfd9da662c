# The profile file reader/writer and the settings file solvane.ini.
solvane_core_test(settings_tests settings/ProfileFileTest.cpp settings/SettingsFileTest.cpp)
