# Tests of the telvanto program's shell: tray, single instance, start at login, wake, and the
# whole program on a virtual display against tvsim.

telvanto_integration_test(test-wake integration/WakeMonitorTest.cpp)
target_link_libraries(test-wake PRIVATE wake Qt6::DBus)
