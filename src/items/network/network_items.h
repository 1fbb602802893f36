#pragma once

#include <QDateTime>
#include <QString>
#include <array>

#include "items/routine.h"
#include "platform/wmi/value.h"

// Network items of the main window and the conversions they share.
namespace torvix::items {

// Display text of any property value: "<CIM_OBJECT (embedded SWbemObject)>", "<NULL>", array
// elements joined by ",", else the value's own text.
QString ConvertPropertyValueToString(const wmi::Value& value);

// A management datetime ("20181030090503.500000+540") converted to Japan time (UTC+9). Throws
// Failure when the fixed positions do not hold digits or the text is too short.
QDateTime 日本時間に変換(const QString& managementDateTime);

// The ping query for an address, quoted so that no address can change what it asks:
// "select * from Win32_PingStatus where address = '192.168.0.10'".
QString pingQueryText(const QString& address);

void Command9_Click(RoutineContext& ctx);   // connection state by ping -> Text9
void Command10_Click(RoutineContext& ctx);  // user name -> Text10
void Command11_Click(RoutineContext& ctx);  // host name -> Text11
void Command28_Click(RoutineContext& ctx);  // DHCP server -> Text28
void Command12_Click(RoutineContext& ctx);  // IP address -> Text12, caption of Command12
void Command13_Click(RoutineContext& ctx);  // subnet mask -> Text13
void Command23_Click(RoutineContext& ctx);  // default gateway -> Text23
void Command24_Click(RoutineContext& ctx);  // DNS servers -> Text24, Text25, Text21
void Command26_Click(RoutineContext& ctx);  // primary WINS -> Text26
void Command27_Click(RoutineContext& ctx);  // secondary WINS -> Text27
void Command4_Click(RoutineContext& ctx);   // address acquisition time -> Text4
void Command6_Click(RoutineContext& ctx);   // MAC address -> Text6
void Command29_Click(RoutineContext& ctx);  // logon count -> Text29

// The domain (or work group) the computer belongs to; empty when it cannot be told.
QString GetJoinDomainName(RoutineContext& ctx);
// The program user's logon name in lower case; empty when there is none.
QString GetUserName(RoutineContext& ctx);
// Splits a domain name into its first five labels; entries past the last label are empty.
void domain_c(const QString& domain, std::array<QString, 5>& components);
// The directory query for the user's directory path:
// SELECT ADSPath FROM 'LDAP://dc=aa,dc=bb,dc=cc' WHERE objectCategory='user' and Name='user1'.
QString domainUserQueryText(const std::array<QString, 5>& components, const QString& userName);
void Command32_Click(RoutineContext& ctx);  // domain password change date -> Text32

}  // namespace torvix::items
