# The sources of the rules library (zrrules), shared by the main build and the standalone fuzz
# project so that both compile the same files. Paths are absolute, from this file's location.
get_filename_component(ZR_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Request frames and their CRC.
set(ZR_FRAME_SOURCES
    ${ZR_SOURCE_ROOT}/link/modbus_frame.h
    ${ZR_SOURCE_ROOT}/link/modbus_frame.cpp
)

# Finding, matching and decoding replies, and the shared state they are decoded into: what the
# fuzz target exercises.
set(ZR_REPLY_SOURCES
    ${ZR_FRAME_SOURCES}
    ${ZR_SOURCE_ROOT}/device/register_map.h
    ${ZR_SOURCE_ROOT}/device/reply_parser.h
    ${ZR_SOURCE_ROOT}/device/reply_parser.cpp
    ${ZR_SOURCE_ROOT}/device/reply_matching.h
    ${ZR_SOURCE_ROOT}/device/reply_matching.cpp
    ${ZR_SOURCE_ROOT}/app/shared_data.h
    ${ZR_SOURCE_ROOT}/app/shared_data.cpp
    ${ZR_SOURCE_ROOT}/app/config_file.h
    ${ZR_SOURCE_ROOT}/app/config_file.cpp
    ${ZR_SOURCE_ROOT}/app/value_rules.h
    ${ZR_SOURCE_ROOT}/app/value_rules.cpp
)

# The whole rules library.
set(ZR_RULES_SOURCES
    ${ZR_REPLY_SOURCES}
    ${ZR_SOURCE_ROOT}/app/clock.h
    ${ZR_SOURCE_ROOT}/app/clock.cpp
    ${ZR_SOURCE_ROOT}/app/machine_text.h
    ${ZR_SOURCE_ROOT}/app/machine_text.cpp
    ${ZR_SOURCE_ROOT}/app/catalogues.h
    ${ZR_SOURCE_ROOT}/app/catalogues.cpp
    ${ZR_SOURCE_ROOT}/app/log_file.h
    ${ZR_SOURCE_ROOT}/app/log_file.cpp
    ${ZR_SOURCE_ROOT}/link/serial_ports.h
    ${ZR_SOURCE_ROOT}/link/serial_ports.cpp
    ${ZR_SOURCE_ROOT}/core/modbus/port_access.h
    ${ZR_SOURCE_ROOT}/core/modbus/port_access.cpp
    ${ZR_SOURCE_ROOT}/link/search_schedule.h
    ${ZR_SOURCE_ROOT}/link/search_schedule.cpp
    ${ZR_SOURCE_ROOT}/link/exchange.h
    ${ZR_SOURCE_ROOT}/link/exchange.cpp
    ${ZR_SOURCE_ROOT}/device/device_model.h
    ${ZR_SOURCE_ROOT}/device/device_model.cpp
    ${ZR_SOURCE_ROOT}/device/readings.h
    ${ZR_SOURCE_ROOT}/device/readings.cpp
    ${ZR_SOURCE_ROOT}/device/settings_frames.h
    ${ZR_SOURCE_ROOT}/device/settings_frames.cpp
)
