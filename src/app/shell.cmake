# The telvanto program: the window's shell (tray menu, one instance per session, start at login,
# wake from sleep) around the app library.
find_package(Qt6 REQUIRED COMPONENTS DBus Widgets)
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)

add_library(appshell STATIC Autostart.cpp SingleInstance.cpp TrayMenu.cpp)
target_link_libraries(appshell PUBLIC app Qt6::DBus Qt6::Widgets)
set_target_properties(appshell PROPERTIES AUTOMOC ON)

add_executable(telvanto main.cpp)
target_link_libraries(telvanto PRIVATE appshell app wake platform platform-atspi platform-xrandr transport PkgConfig::XCB)

install(TARGETS telvanto RUNTIME DESTINATION bin)
# Installed under the application id, which the AppStream file names as its launchable.
install(FILES telvanto.desktop DESTINATION share/applications RENAME com.korbith.telvanto.desktop)
install(FILES telvanto.svg DESTINATION share/icons/hicolor/scalable/apps)
