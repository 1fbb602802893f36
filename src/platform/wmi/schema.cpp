#include "platform/wmi/schema.h"

#include <QHash>
#include <algorithm>
#include <vector>

namespace torvix::wmi {

namespace {

struct ClassSchema {
    QString name;
    QStringList properties;
};

// A useful part of each class's real property set, with every property the window reads.
// Sorted at start-up the way Windows lists them, so the table below can stay readable.
const std::vector<ClassSchema>& table() {
    static const std::vector<ClassSchema> classes = [] {
        std::vector<ClassSchema> t = {
            {QStringLiteral("Win32_Processor"),
             {"AddressWidth", "Architecture",      "Availability",
              "Caption",      "CpuStatus",         "CurrentClockSpeed",
              "DataWidth",    "Description",       "DeviceID",
              "Family",       "L2CacheSize",       "L3CacheSize",
              "Level",        "Manufacturer",      "MaxClockSpeed",
              "Name",         "NumberOfCores",     "NumberOfLogicalProcessors",
              "ProcessorId",  "ProcessorType",     "Revision",
              "Role",         "SocketDesignation", "Status",
              "Stepping",     "SystemName",        "ThreadCount"}},
            {QStringLiteral("Win32_ComputerSystem"),
             {"AdminPasswordStatus",
              "BootupState",
              "Caption",
              "CurrentTimeZone",
              "Description",
              "DNSHostName",
              "Domain",
              "DomainRole",
              "Manufacturer",
              "Model",
              "Name",
              "NumberOfLogicalProcessors",
              "NumberOfProcessors",
              "PartOfDomain",
              "PrimaryOwnerName",
              "Status",
              "SystemType",
              "TotalPhysicalMemory",
              "UserName",
              "Workgroup"}},
            {QStringLiteral("Win32_OperatingSystem"),
             {"BootDevice",
              "BuildNumber",
              "Caption",
              "CodeSet",
              "CountryCode",
              "CSName",
              "CurrentTimeZone",
              "Description",
              "FreePhysicalMemory",
              "FreeSpaceInPagingFiles",
              "FreeVirtualMemory",
              "InstallDate",
              "LastBootUpTime",
              "LocalDateTime",
              "Locale",
              "Manufacturer",
              "Name",
              "NumberOfProcesses",
              "NumberOfUsers",
              "OSArchitecture",
              "OSLanguage",
              "OSType",
              "RegisteredUser",
              "SerialNumber",
              "ServicePackMajorVersion",
              "ServicePackMinorVersion",
              "Status",
              "SystemDirectory",
              "TotalVirtualMemorySize",
              "TotalVisibleMemorySize",
              "Version",
              "WindowsDirectory"}},
            {QStringLiteral("Win32_PointingDevice"),
             {"Availability", "Caption", "Description", "DeviceID", "DeviceInterface",
              "HardwareType", "InfFileName", "Manufacturer", "Name", "NumberOfButtons",
              "PNPDeviceID", "PointingType", "Status"}},
            {QStringLiteral("Win32_ComputerSystemProduct"),
             {"Caption", "Description", "IdentifyingNumber", "Name", "SKUNumber", "UUID", "Vendor",
              "Version"}},
            {QStringLiteral("Win32_NetworkAdapterConfiguration"),
             {"Caption",
              "DefaultIPGateway",
              "Description",
              "DHCPEnabled",
              "DHCPLeaseExpires",
              "DHCPLeaseObtained",
              "DHCPServer",
              "DNSDomain",
              "DNSDomainSuffixSearchOrder",
              "DNSHostName",
              "DNSServerSearchOrder",
              "Index",
              "InterfaceIndex",
              "IPAddress",
              "IPEnabled",
              "IPSubnet",
              "MACAddress",
              "ServiceName",
              "SettingID",
              "TcpipNetbiosOptions",
              "WINSPrimaryServer",
              "WINSSecondaryServer"}},
            {QStringLiteral("Win32_PingStatus"),
             {"Address",         "BufferSize",
              "NoFragmentation", "PrimaryAddressResolutionStatus",
              "ProtocolAddress", "ProtocolAddressResolved",
              "RecordRoute",     "ReplyInconsistency",
              "ReplySize",       "ResolveAddressNames",
              "ResponseTime",    "ResponseTimeToLive",
              "RouteRecord",     "SourceRoute",
              "SourceRouteType", "StatusCode",
              "Timeout",         "TimeStampRecord",
              "TimeToLive",      "TypeofService"}},
            {QStringLiteral("Win32_Process"), {"Caption",
                                               "CommandLine",
                                               "CreationClassName",
                                               "CreationDate",
                                               "CSCreationClassName",
                                               "CSName",
                                               "Description",
                                               "ExecutablePath",
                                               "Handle",
                                               "HandleCount",
                                               "KernelModeTime",
                                               "Name",
                                               "OSCreationClassName",
                                               "OSName",
                                               "ParentProcessId",
                                               "Priority",
                                               "ProcessId",
                                               "SessionId",
                                               "ThreadCount",
                                               "UserModeTime",
                                               "VirtualSize",
                                               "WorkingSetSize"}},
            {QStringLiteral("Win32_Printer"),
             {"Attributes", "Caption", "Default", "Description", "DeviceID", "DriverName", "Local",
              "Location", "Name", "Network", "PortName", "PrinterStatus", "Shared", "ShareName",
              "Status", "SystemName", "WorkOffline"}},
            {QStringLiteral("Win32_NetworkLoginProfile"),
             {"BadPasswordCount", "Caption", "Comment", "Description", "Flags", "FullName",
              "HomeDirectory", "LastLogoff", "LastLogon", "LogonServer", "Name", "NumberOfLogons",
              "PasswordAge", "Privileges", "UserId", "UserType"}},
            {QStringLiteral("Win32_NTLogEvent"),
             {"Category", "CategoryString", "ComputerName", "Data", "EventCode", "EventIdentifier",
              "EventType", "InsertionStrings", "Logfile", "Message", "RecordNumber", "SourceName",
              "TimeGenerated", "TimeWritten", "Type", "User"}},
            {QStringLiteral("Win32_Product"),
             {"Caption", "Description", "IdentifyingNumber", "InstallDate", "InstallLocation",
              "InstallSource", "LocalPackage", "Name", "PackageCode", "Vendor", "Version"}},
        };
        for (ClassSchema& c : t) {
            std::sort(c.properties.begin(), c.properties.end(),
                      [](const QString& a, const QString& b) {
                          return a.compare(b, Qt::CaseInsensitive) < 0;
                      });
        }
        return t;
    }();
    return classes;
}

// Hashed by case-folded name: a machine file may name a great many classes.
const ClassSchema* lookup(QStringView className) {
    static const QHash<QString, const ClassSchema*> byName = [] {
        QHash<QString, const ClassSchema*> h;
        for (const ClassSchema& c : table()) h.insert(c.name.toCaseFolded(), &c);
        return h;
    }();
    return byName.value(className.toString().toCaseFolded(), nullptr);
}

}  // namespace

QStringList schemaProperties(QStringView className) {
    const ClassSchema* c = lookup(className);
    return c ? c->properties : QStringList();
}

QStringList schemaClasses() {
    QStringList names;
    for (const ClassSchema& c : table()) names << c.name;
    return names;
}

QString schemaClassName(QStringView className) {
    const ClassSchema* c = lookup(className);
    return c ? c->name : QString();
}

}  // namespace torvix::wmi
