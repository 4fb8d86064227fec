// The wire format between the control panel and the driver: control codes, the fixed
// records each one carries, and the panel's own status codes. Shared by the panel and by
// the substitute driver, so both sides agree on every byte.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "driver records are little-endian and used in place");

// Control codes: device type 0x8089, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr std::uint32_t ZivuUsbControlCode(std::uint32_t function) {
    return 0x80890000u + function * 4u;
}

constexpr std::uint32_t IOCTL_GET_DRIVER_VERSION = ZivuUsbControlCode(0xA01);
constexpr std::uint32_t IOCTL_GET_INCLUDE_DEVICE_NAME = ZivuUsbControlCode(0xA04);
constexpr std::uint32_t IOCTL_SET_INCLUDE_DEVICE_NAME = ZivuUsbControlCode(0xA05);
constexpr std::uint32_t IOCTL_REGISTER_NOTIFICATION_EVENT = ZivuUsbControlCode(0xA08);
constexpr std::uint32_t IOCTL_GET_NOTIFICATION = ZivuUsbControlCode(0xA0A);
constexpr std::uint32_t IOCTL_GET_DEVICE_LIST = ZivuUsbControlCode(0xA18);
constexpr std::uint32_t IOCTL_GET_CHANNEL_LISTS = ZivuUsbControlCode(0xA19);
constexpr std::uint32_t IOCTL_GET_CLOCK_MASTER = ZivuUsbControlCode(0xA20);
constexpr std::uint32_t IOCTL_SET_CLOCK_MASTER = ZivuUsbControlCode(0xA21);
constexpr std::uint32_t IOCTL_GET_RATE_SELECTION_MODE = ZivuUsbControlCode(0xA22);
constexpr std::uint32_t IOCTL_SET_RATE_SELECTION_MODE = ZivuUsbControlCode(0xA23);
constexpr std::uint32_t IOCTL_GET_SAMPLE_RATE_INFO = ZivuUsbControlCode(0xA30);
constexpr std::uint32_t IOCTL_SET_SAMPLE_RATE = ZivuUsbControlCode(0xA31);
constexpr std::uint32_t IOCTL_GET_SYNC_MODE_INFO = ZivuUsbControlCode(0xA40);
constexpr std::uint32_t IOCTL_SET_SYNC_MODE = ZivuUsbControlCode(0xA41);
constexpr std::uint32_t IOCTL_GET_DEVICE_PROPERTIES = ZivuUsbControlCode(0xA48);
constexpr std::uint32_t IOCTL_SET_DEVICE_PROPERTIES = ZivuUsbControlCode(0xA49);
constexpr std::uint32_t IOCTL_GET_CHANNEL_PROPERTIES = ZivuUsbControlCode(0xA60);
constexpr std::uint32_t IOCTL_SET_CHANNEL_PROPERTIES = ZivuUsbControlCode(0xA61);
constexpr std::uint32_t IOCTL_BUFFER_CHANGE_STEP2 = ZivuUsbControlCode(0xA80);
constexpr std::uint32_t IOCTL_BUFFER_CHANGE_STEP1 = ZivuUsbControlCode(0xA81);
constexpr std::uint32_t IOCTL_GET_STREAM_BUFFER = ZivuUsbControlCode(0xAA0);
constexpr std::uint32_t IOCTL_SET_STREAM_BUFFER = ZivuUsbControlCode(0xAA1);
constexpr std::uint32_t IOCTL_GET_ASIO_BUFFER = ZivuUsbControlCode(0xAA2);
constexpr std::uint32_t IOCTL_SET_ASIO_BUFFER = ZivuUsbControlCode(0xAA3);
constexpr std::uint32_t IOCTL_GET_WDM_BUFFER = ZivuUsbControlCode(0xAA4);
constexpr std::uint32_t IOCTL_SET_WDM_BUFFER = ZivuUsbControlCode(0xAA5);
constexpr std::uint32_t IOCTL_GET_STREAM_STATISTICS = ZivuUsbControlCode(0xAB2);

static_assert(IOCTL_GET_DRIVER_VERSION == 0x80892804u);
static_assert(IOCTL_SET_RATE_SELECTION_MODE == 0x8089288Cu);
static_assert(IOCTL_BUFFER_CHANGE_STEP2 == 0x80892A00u);
static_assert(IOCTL_GET_STREAM_STATISTICS == 0x80892AC8u);

// Status codes. 0 is success; system errors pass through unchanged; the panel's own codes
// have the top three bits set so they never collide with system errors.
constexpr std::uint32_t ZIVU_STATUS_SUCCESS = 0;
constexpr std::uint32_t ZIVU_STATUS_THREAD_FAILED = 0xE0000001u;      // notificator thread
constexpr std::uint32_t ZIVU_STATUS_NOT_OPEN = 0xE0000013u;           // no request was sent
constexpr std::uint32_t ZIVU_STATUS_WRONG_INTERFACE = 0xE0000014u;    // major version not 2
constexpr std::uint32_t ZIVU_STATUS_STREAMING = 0xE0000047u;          // refused by the driver

constexpr std::uint8_t ZIVU_INTERFACE_MAJOR = 2;

// The driver's control device object and device interface class.
constexpr const char* ZIVU_DRIVER_NAME = "{9C16E615-A7AC-458f-819F-718A8A11EF08}";
constexpr const char* ZIVU_INTERFACE_CLASS = "9C16E615-A7AC-458F-819F-718A8A11EF08";

constexpr std::size_t ZIVU_MAX_DEVICES = 64;
constexpr std::size_t ZIVU_MAX_CHANNELS = 256;
constexpr std::size_t ZIVU_MAX_RATES = 8;
constexpr std::size_t ZIVU_MAX_SOURCES = 16;
constexpr std::size_t ZIVU_NAME_SIZE = 40;

#pragma pack(push, 1)

struct _DRIVER_VERSION_INFO {
    std::uint8_t InterfaceMajor;
    std::uint8_t InterfaceMinor;
    std::uint8_t DriverMajor;
    std::uint8_t DriverMinor;
    std::uint32_t DriverBuild;
    std::uint8_t Reserved[4];
};

struct _DEVICE_LIST {
    std::uint32_t DeviceCount;
    std::uint32_t DeviceIds[ZIVU_MAX_DEVICES];
};

struct _CHANNEL_LISTS {
    std::uint32_t InputCount;
    std::uint32_t InputIds[ZIVU_MAX_CHANNELS];
    std::uint32_t OutputCount;
    std::uint32_t OutputIds[ZIVU_MAX_CHANNELS];
};

struct _ZEL_USB_DEVICE_PROPERTIES {
    std::uint8_t Preserved0[4];
    std::uint32_t Ranking;
    std::uint8_t Preserved1[88];
    char DeviceName[ZIVU_NAME_SIZE];
    // NUL-terminated serial number; the bytes after its NUL belong to the driver.
    char SerialNumber[376];
};

struct _ZEL_USB_CHANNEL_PROPERTIES {
    std::uint8_t Preserved0[4];
    std::uint32_t DeviceId;
    std::uint8_t Preserved1[4];
    char HardwareName[ZIVU_NAME_SIZE];
    char ChannelName[ZIVU_NAME_SIZE];
};

struct _SYNC_MODE_ENTRY {
    std::uint32_t SourceContext;
    std::uint32_t SourceId;
    char SourceName[ZIVU_NAME_SIZE];
};

struct _DEVICE_SYNC_MODE_INFO {
    std::uint32_t DeviceId;
    _SYNC_MODE_ENTRY CurrentSource;
    std::uint32_t SourceCount;
    _SYNC_MODE_ENTRY Sources[ZIVU_MAX_SOURCES];
};

struct _SYNC_MODE_SELECTION {
    std::uint32_t DeviceId;
    std::uint32_t SourceContext;
    std::uint32_t SourceId;
};

struct _STREAM_BUFFER_INFO {
    std::uint32_t MinimumUs;
    std::uint32_t MaximumUs;
    std::uint32_t StepUs;
    std::uint32_t CurrentUs;
};

struct _AUDIO_BUFFER_INFO {
    std::uint32_t CurrentUs;
    std::uint8_t Reserved1[4];
    std::uint32_t SampleGranularity;
    std::uint8_t Reserved2[4];
};

struct _STREAM_STATISTICS {
    std::uint8_t Reserved0[52];
    std::uint32_t DropOutCount;
    std::uint8_t Reserved1[4];
};

struct _SAMPLE_RATE_INFO {
    std::uint8_t Reserved[4];
    std::uint32_t CurrentRate;
    std::uint32_t RateCount;
    std::uint32_t Rates[ZIVU_MAX_RATES];
};

struct _SETTING_VALUE {
    std::uint32_t Reserved;
    std::uint32_t Value;
};

struct _CLOCK_MASTER_INFO {
    std::uint8_t Reserved1[4];
    std::uint32_t ClockMaster;
    std::uint8_t Reserved2[4];
};

struct _DRIVER_NOTIFICATION {
    std::int32_t EventCode;
    std::uint8_t Reserved[8];
};

#pragma pack(pop)

#define ZIVU_CHECK_FIELD(record, field, offset) \
    static_assert(offsetof(record, field) == (offset), #record "." #field)

static_assert(sizeof(_DRIVER_VERSION_INFO) == 12);
ZIVU_CHECK_FIELD(_DRIVER_VERSION_INFO, InterfaceMajor, 0);
ZIVU_CHECK_FIELD(_DRIVER_VERSION_INFO, InterfaceMinor, 1);
ZIVU_CHECK_FIELD(_DRIVER_VERSION_INFO, DriverMajor, 2);
ZIVU_CHECK_FIELD(_DRIVER_VERSION_INFO, DriverMinor, 3);
ZIVU_CHECK_FIELD(_DRIVER_VERSION_INFO, DriverBuild, 4);
ZIVU_CHECK_FIELD(_DRIVER_VERSION_INFO, Reserved, 8);

static_assert(sizeof(_DEVICE_LIST) == 260);
ZIVU_CHECK_FIELD(_DEVICE_LIST, DeviceIds, 4);

static_assert(sizeof(_CHANNEL_LISTS) == 2056);
ZIVU_CHECK_FIELD(_CHANNEL_LISTS, InputIds, 4);
ZIVU_CHECK_FIELD(_CHANNEL_LISTS, OutputCount, 1028);
ZIVU_CHECK_FIELD(_CHANNEL_LISTS, OutputIds, 1032);

static_assert(sizeof(_ZEL_USB_DEVICE_PROPERTIES) == 512);
ZIVU_CHECK_FIELD(_ZEL_USB_DEVICE_PROPERTIES, Ranking, 4);
ZIVU_CHECK_FIELD(_ZEL_USB_DEVICE_PROPERTIES, Preserved1, 8);
ZIVU_CHECK_FIELD(_ZEL_USB_DEVICE_PROPERTIES, DeviceName, 96);
ZIVU_CHECK_FIELD(_ZEL_USB_DEVICE_PROPERTIES, SerialNumber, 136);

static_assert(sizeof(_ZEL_USB_CHANNEL_PROPERTIES) == 92);
ZIVU_CHECK_FIELD(_ZEL_USB_CHANNEL_PROPERTIES, DeviceId, 4);
ZIVU_CHECK_FIELD(_ZEL_USB_CHANNEL_PROPERTIES, Preserved1, 8);
ZIVU_CHECK_FIELD(_ZEL_USB_CHANNEL_PROPERTIES, HardwareName, 12);
ZIVU_CHECK_FIELD(_ZEL_USB_CHANNEL_PROPERTIES, ChannelName, 52);

static_assert(sizeof(_SYNC_MODE_ENTRY) == 48);
ZIVU_CHECK_FIELD(_SYNC_MODE_ENTRY, SourceId, 4);
ZIVU_CHECK_FIELD(_SYNC_MODE_ENTRY, SourceName, 8);

static_assert(sizeof(_DEVICE_SYNC_MODE_INFO) == 824);
ZIVU_CHECK_FIELD(_DEVICE_SYNC_MODE_INFO, CurrentSource, 4);
ZIVU_CHECK_FIELD(_DEVICE_SYNC_MODE_INFO, SourceCount, 52);
ZIVU_CHECK_FIELD(_DEVICE_SYNC_MODE_INFO, Sources, 56);

static_assert(sizeof(_SYNC_MODE_SELECTION) == 12);
ZIVU_CHECK_FIELD(_SYNC_MODE_SELECTION, SourceContext, 4);
ZIVU_CHECK_FIELD(_SYNC_MODE_SELECTION, SourceId, 8);

static_assert(sizeof(_STREAM_BUFFER_INFO) == 16);
ZIVU_CHECK_FIELD(_STREAM_BUFFER_INFO, MaximumUs, 4);
ZIVU_CHECK_FIELD(_STREAM_BUFFER_INFO, StepUs, 8);
ZIVU_CHECK_FIELD(_STREAM_BUFFER_INFO, CurrentUs, 12);

static_assert(sizeof(_AUDIO_BUFFER_INFO) == 16);
ZIVU_CHECK_FIELD(_AUDIO_BUFFER_INFO, Reserved1, 4);
ZIVU_CHECK_FIELD(_AUDIO_BUFFER_INFO, SampleGranularity, 8);
ZIVU_CHECK_FIELD(_AUDIO_BUFFER_INFO, Reserved2, 12);

static_assert(sizeof(_STREAM_STATISTICS) == 60);
ZIVU_CHECK_FIELD(_STREAM_STATISTICS, DropOutCount, 52);

static_assert(sizeof(_SAMPLE_RATE_INFO) == 44);
ZIVU_CHECK_FIELD(_SAMPLE_RATE_INFO, CurrentRate, 4);
ZIVU_CHECK_FIELD(_SAMPLE_RATE_INFO, RateCount, 8);
ZIVU_CHECK_FIELD(_SAMPLE_RATE_INFO, Rates, 12);

static_assert(sizeof(_SETTING_VALUE) == 8);
ZIVU_CHECK_FIELD(_SETTING_VALUE, Value, 4);

static_assert(sizeof(_CLOCK_MASTER_INFO) == 12);
ZIVU_CHECK_FIELD(_CLOCK_MASTER_INFO, ClockMaster, 4);
ZIVU_CHECK_FIELD(_CLOCK_MASTER_INFO, Reserved2, 8);

static_assert(sizeof(_DRIVER_NOTIFICATION) == 12);
ZIVU_CHECK_FIELD(_DRIVER_NOTIFICATION, Reserved, 4);

#undef ZIVU_CHECK_FIELD
