# The sources of the core library (zrcore), shared by the main build and the standalone fuzz
# project so that both compile the same files. Paths are absolute, from this file's location.
get_filename_component(ZR_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(ZR_CORE_DIR ${ZR_SOURCE_ROOT}/core)

# Request frames and their CRC.
set(ZR_FRAME_SOURCES
    ${ZR_CORE_DIR}/modbus/modbus_frame.h
    ${ZR_CORE_DIR}/modbus/modbus_frame.cpp
)

# Finding, matching and decoding replies, and the shared state they are decoded into: what the
# fuzz target exercises.
set(ZR_REPLY_SOURCES
    ${ZR_FRAME_SOURCES}
    ${ZR_CORE_DIR}/modbus/reply_matching.h
    ${ZR_CORE_DIR}/modbus/reply_matching.cpp
    ${ZR_CORE_DIR}/device/register_map.h
    ${ZR_CORE_DIR}/device/reply_parser.h
    ${ZR_CORE_DIR}/device/reply_parser.cpp
    ${ZR_CORE_DIR}/device/shared_data.h
    ${ZR_CORE_DIR}/device/shared_data.cpp
    ${ZR_CORE_DIR}/device/value_rules.h
    ${ZR_CORE_DIR}/device/value_rules.cpp
    ${ZR_CORE_DIR}/storage/config_file.h
    ${ZR_CORE_DIR}/storage/config_file.cpp
)

# The whole core library.
set(ZR_CORE_SOURCES
    ${ZR_REPLY_SOURCES}
    ${ZR_CORE_DIR}/base/clock.h
    ${ZR_CORE_DIR}/base/clock.cpp
    ${ZR_CORE_DIR}/base/machine_text.h
    ${ZR_CORE_DIR}/base/machine_text.cpp
    ${ZR_CORE_DIR}/base/catalogues.h
    ${ZR_CORE_DIR}/base/catalogues.cpp
    ${ZR_CORE_DIR}/base/backoff.h
    ${ZR_CORE_DIR}/base/line_clock.h
    ${ZR_CORE_DIR}/base/line_clock.cpp
    ${ZR_CORE_DIR}/base/stop_signals.h
    ${ZR_CORE_DIR}/base/stop_signals.cpp
    ${ZR_CORE_DIR}/storage/log_file.h
    ${ZR_CORE_DIR}/storage/log_file.cpp
    ${ZR_CORE_DIR}/device/trend_buffer.h
    ${ZR_CORE_DIR}/device/trend_buffer.cpp
    ${ZR_CORE_DIR}/device/readings_file.h
    ${ZR_CORE_DIR}/device/readings_file.cpp
    ${ZR_CORE_DIR}/modbus/serial_ports.h
    ${ZR_CORE_DIR}/modbus/serial_ports.cpp
    ${ZR_CORE_DIR}/modbus/port_watch.h
    ${ZR_CORE_DIR}/modbus/port_watch.cpp
    ${ZR_CORE_DIR}/modbus/request_queue.h
    ${ZR_CORE_DIR}/modbus/request_queue.cpp
    ${ZR_CORE_DIR}/device/search_schedule.h
    ${ZR_CORE_DIR}/device/search_schedule.cpp
    ${ZR_CORE_DIR}/device/line_timing.h
    ${ZR_CORE_DIR}/device/live_poll.h
    ${ZR_CORE_DIR}/device/live_poll.cpp
    ${ZR_CORE_DIR}/device/line_timing.cpp
    ${ZR_CORE_DIR}/device/device_model.h
    ${ZR_CORE_DIR}/device/device_model.cpp
    ${ZR_CORE_DIR}/device/readings.h
    ${ZR_CORE_DIR}/device/readings.cpp
    ${ZR_CORE_DIR}/device/settings_frames.h
    ${ZR_CORE_DIR}/device/settings_frames.cpp
    ${ZR_CORE_DIR}/modbus/port_access.h
    ${ZR_CORE_DIR}/modbus/port_access.cpp
    ${ZR_CORE_DIR}/modbus/line_reply.h
    ${ZR_CORE_DIR}/modbus/line_reply.cpp
    ${ZR_CORE_DIR}/modbus/line_port.h
    ${ZR_CORE_DIR}/modbus/line_port.cpp
    ${ZR_CORE_DIR}/modbus/line_watch.h
    ${ZR_CORE_DIR}/modbus/line_watch.cpp
    ${ZR_CORE_DIR}/modbus/modbus_line.h
    ${ZR_CORE_DIR}/modbus/modbus_line.cpp
    ${ZR_CORE_DIR}/modbus/mbap_frame.h
    ${ZR_CORE_DIR}/modbus/mbap_frame.cpp
    ${ZR_CORE_DIR}/modbus/mbap_server.h
    ${ZR_CORE_DIR}/modbus/mbap_server.cpp
    ${ZR_CORE_DIR}/modbus/tcp_line_port.h
    ${ZR_CORE_DIR}/modbus/tcp_line_port.cpp
    ${ZR_CORE_DIR}/modbus/port_address.h
    ${ZR_CORE_DIR}/modbus/port_address.cpp
    ${ZR_CORE_DIR}/modbus/port_factory.h
    ${ZR_CORE_DIR}/modbus/port_factory.cpp
)
