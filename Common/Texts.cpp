#include "Common/Texts.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace res {
namespace {

struct NumberedText {
    int id;
    const char* english;
    const char* chinese;
};

// Sorted by id (looked up by binary search).
constexpr NumberedText kNumbered[] = {
    {IDS_ABOUTBOX, "About TorvoProxy(&A)...", "关于 MainUI(&A)..."},
    {IDS_USER_NAME, "User name", "用户名"},
    {IDP_SOCKETS_INIT_FAILED, "Windows 套接字初始化失败。", "Windows 套接字初始化失败。"},
    {IDS_CREATE_TIME, "Create time", "创建时间"},
    {IDS_TIP_CAPTION, "TorvoProxy tip", "TorvoProxy提示"},
    {IDS_USER_NAME_OCCUPIED, "The user name has been occupied", "该用户名已被占用"},
    {IDS_ADDED_SUCCESSFULLY, "Added successfully", "添加成功"},
    {IDS_SELECT_ACCOUNT_TO_MODIFY, "Please select the account you want to modify.",
     "请选择要修改的账号"},
    {IDS_SELECT_ACCOUNT_TO_DELETE, "Please select the account you want to delete.",
     "请选择要删除的账号"},
    {IDS_ADD_ACCOUNT, "Add account", "添加帐号"},
    {IDS_MODIFY_ACCOUNT, "Modify account", "修改帐号"},
    {IDS_MODIFIED_SUCCESSFULLY, "Modifyed successfully", "修改成功"},
    {IDS_USER_NAME_EMPTY, "The user name can not be empty", "用户名不能为空"},
    {IDS_PASSWORD_EMPTY, "The password can not be empty", "密码不能为空"},
    {IDS_PASSWORDS_DIFFER, "The two passwords are not the same", "两次密码不一致"},
    {IDS_COL_TIME, "Time", "时间"},
    {IDS_COL_SOURCE, "Source", "来源"},
    {IDS_COL_MESSAGE, "Message", "消息"},
    {IDS_COL_ITEM, "Item", "项目"},
    {IDS_COL_VALUE, "Value", "值"},
    {IDS_ROW_START_TIME, "Start time", "启动时间"},
    {IDS_ROW_ONLINE_USERS, "Online Users", "在线用户数"},
    {IDS_ROW_ONLINE_DEVICES, "Online Devices", "在线设备数"},
    {IDS_ROW_TOTAL_NETWORK_FLOW, "Total Network Flow", "总网络流量"},
    {IDS_ROW_ALARMS, "Alarms", "报警数"},
    {IDS_CHART_RATE, "Network rate(Bytes/second)", "网络流速(字节数/秒)"},
    {IDS_CHART_TITLE, "The network throughput rate of IO", "网络IO吞吐速率"},
    {IDS_ENGINE_NOT_INSTALLED, "Proxy service is not installed", "代理服务未安装"},
    {IDS_ENGINE_START, "Start proxy service", "启动代理服务"},
    {IDS_ENGINE_STARTING, "Starting proxy service", "代理服务启动中"},
    {IDS_ENGINE_STOPPING, "Stopping proxy service", "代理服务停止中"},
    {IDS_ENGINE_STOP, "Stop proxy service", "停止代理服务"},
    {IDS_ENGINE_UNKNOWN, "Can't identify proxy service", "无法识别服务状态"},
    {IDS_COL_USER, "User", "用户"},
    {IDS_COL_HOST, "Host", "主机"},
    {IDS_COL_IP, "Ip", "Ip"},
    {IDS_COL_TOTAL_FLOW, "Total flow", "总流量"},
    {IDS_COL_LAST_ACTIVITY_TIME, "Last activity time", "最后活动时间"},
    {IDS_TAB_REALTIME, "Realtime", "实时"},
    {IDS_TAB_BY_DEVICE, "Statistics by device", "按设备统计"},
    {IDS_TAB_BY_USER, "Statistics by user", "按用户统计"},
    {IDS_COL_USER_NAME, "User name", "用户名"},
    {IDS_COL_CURRENT_CONNECTIONS, "Current connections", "当前连接数"},
    {IDS_COL_CURRENT_FLOW, "Current flow", "当前流量"},
    {IDS_COL_CURRENT_SPEED, "Current speed", "当前流速"},
    {IDS_RESTART_ENGINE_HINT,
     "In order for the changed configuration to take effect, pls restart the proxy engine.",
     "修改监听端口后，必须手工重启代理服务引擎"},
    {IDS_SAVED_SUCCESSFULLY, "Saved successfully", "保存成功"},
    {IDS_ABOUT_TITLE, "About TorvoProxy", "关于TorvoProxy"},
    {IDS_MAIN_TITLE, "TorvoProxy System", "TorvoProxy代理服务器系统"},
    {IDS_TAB_MONITORING, "Monitoring", "监控"},
    {IDS_TAB_SETTING, "Setting", "设置"},
    {IDS_TAB_ALARM, "Alarm", "报警"},
    {IDS_TAB_LOGS, "Logs", "日志"},
    {IDS_COPY, "Copy", "复制"},
    {IDS_PORT_IS_CONTROL_PORT,
     "Port %1 is the control channel's own port: the proxy server cannot listen on it. Please "
     "choose another listen port.",
     "端口 %1 是控制通道自用的端口，代理服务无法在其上监听。请选择其他监听端口。"},
    {IDS_CLIENT_ADDRESSES, "Clients: %1", "客户端地址：%1"},
    {IDS_RUNNING_PORT_DIFFERS,
     "The running proxy server still listens on port %1; restart the proxy engine to use port "
     "%2.",
     "运行中的代理服务仍在监听端口 %1；重启代理服务引擎后才会使用端口 %2。"},
    {IDS_REFRESH, "Refresh", "刷新"},
    {IDS_EXPORTED_TO, "Exported to %1", "已导出到 %1"},
    {IDS_NOTICE_SERVER_STOPPED, "TorvoProxy: the proxy server stopped",
     "TorvoProxy：代理服务已停止"},
    {IDS_NOTICE_SERVER_STOPPED_TEXT,
     "The proxy service is no longer running. Click “Start proxy service” to start it again.",
     "代理服务已不在运行。请点击“启动代理服务”重新启动。"},
    {IDS_NOTICE_NEW_ALARMS, "TorvoProxy: new alarms", "TorvoProxy：新的报警"},
    {IDS_NOTICE_NEW_ALARMS_TEXT, "%1 new alarm(s), %2 in all. See the Alarm tab.",
     "新增 %1 条报警，共 %2 条。请查看“报警”页。"},
    {IDS_HELP_FILE, "help-en.html", "help-zh.html"},
    {IDS_ACCOUNT_GONE, "The account no longer exists; the list has been refreshed.",
     "该账号已不存在，列表已刷新。"},
    {IDS_USER_NAME_INVALID,
     "The user name can not contain \":\" or control characters (a name with \":\" can never "
     "log in over HTTP).",
     "用户名不能包含“:”或控制字符（含“:”的用户名无法通过 HTTP 登录）。"},
    {IDS_ACCOUNT_FIELDS_HINT, "User name and password may be at most 20 characters long.",
     "用户名和密码最长 20 个字符。"},
    {IDS_KEEP_PASSWORD_HINT, "Leave empty to keep", "留空则不修改"},
    {IDS_NETWORKS_LABEL,
     "Allowed client networks (one per line):", "允许连接的客户端网络（每行一个）："},
    {IDS_NETWORKS_HINT,
     "Clients from other addresses are disconnected at once. 0.0.0.0/0 and ::/0 allow every "
     "address.",
     "来自其他地址的客户端会被立即断开。0.0.0.0/0 和 ::/0 允许所有地址。"},
    {IDS_NETWORK_NOT_ADDRESS,
     "Line %1, \"%2\": not an IPv4 or IPv6 address (for example 192.168.0.0/16 or fd00::/8).",
     "第 %1 行“%2”：不是 IPv4 或 IPv6 地址（例如 192.168.0.0/16 或 fd00::/8）。"},
    {IDS_NETWORK_BAD_PREFIX,
     "Line %1, \"%2\": the prefix length after \"/\" must be a number from 0 to %3.",
     "第 %1 行“%2”：“/”后的前缀长度必须是 0 到 %3 之间的数字。"},
    {IDS_NETWORK_HOST_BITS,
     "Line %1, \"%2\": the address has bits set beyond its prefix; did you mean %3?",
     "第 %1 行“%2”：地址在前缀长度之外还有非零位；是否应为 %3？"},
    {IDS_NETWORKS_EMPTY, "The list is empty: no client could connect.",
     "列表为空：任何客户端都无法连接。"},
    {IDS_NETWORKS_OPEN,
     "Every address on the internet may connect: with anonymous access on, this is an open "
     "proxy.",
     "互联网上的任何地址都可以连接：若允许匿名访问，这就是一个开放代理。"},
    {IDS_NETWORKS_BUTTON, "Allowed client networks…", "允许连接的客户端网络…"},
    {IDS_NETWORKS_TITLE, "Allowed client networks", "允许连接的客户端网络"},
    {IDS_RESTORE_DEFAULTS, "Restore defaults", "恢复默认值"},
    {IDS_NETWORKS_UNREADABLE,
     "The stored list could not be read from main.db. Type the networks or restore the "
     "defaults; otherwise Save leaves the stored list as it is.",
     "无法从 main.db 读取已保存的列表。请输入网络或恢复默认值；否则保存时不修改已保存的列表。"},
    {IDS_NETWORKS_NOT_SAVED,
     "The allowed client networks could not be read from main.db, so they were left as they "
     "are; the other settings are saved.",
     "无法从 main.db 读取允许连接的客户端网络，因此未修改该列表；其他设置已保存。"},
    {IDS_ACCOUNT_LIMITS, "Account limits", "账号限制"},
    {IDS_LIMITS_TITLE, "Limits of \"%1\"", "“%1”的限制"},
    {IDS_COL_STATE, "State", "状态"},
    {IDS_COL_EXPIRES, "Last day", "最后可用日"},
    {IDS_COL_MONTH_TRAFFIC, "Used / quota this month", "本月已用 / 配额"},
    {IDS_STATE_ENABLED, "Enabled", "启用"},
    {IDS_STATE_DISABLED, "Disabled", "停用"},
    {IDS_STATE_EXPIRED, "Expired", "已过期"},
    {IDS_STATE_QUOTA_USED, "Quota used", "流量已用完"},
    {IDS_NEVER, "Never", "永不过期"},
    {IDS_UNLIMITED, "unlimited", "不限"},
    {IDS_LIMIT_ENABLED, "Account enabled", "启用账号"},
    {IDS_LIMIT_EXPIRES, "Last day of use:", "最后可用日："},
    {IDS_LIMIT_MONTHLY, "Traffic per month (MB):", "每月流量（MB）："},
    {IDS_LIMIT_BANDWIDTH, "Bandwidth (KB/s):", "带宽（KB/s）："},
    {IDS_LIMITS_HINT,
     "An unticked limit does not apply. The account works through its last day and is refused "
     "from 0:00 of the next day; traffic and bandwidth count both directions together.",
     "未勾选的限制不生效。账号可用到最后可用日当天结束，"
     "自次日 0:00 起被拒绝；流量和带宽按上下行合计。"},
    {IDS_SELECT_ACCOUNT_FOR_LIMITS, "Please select the account whose limits you want to set.",
     "请选择要设置限制的账号"},
    {IDS_FAIL_REFUSED, "The service manager refused: %1", "服务管理器拒绝了该操作：%1"},
    {IDS_FAIL_EXITED, "The proxy server stopped while starting: %1", "代理服务器在启动时退出：%1"},
    {IDS_FAIL_EXITED_SILENT,
     "The proxy server stopped while starting and gave no reason; see the Alarm tab.",
     "代理服务器在启动时退出，未给出原因；请查看“报警”页。"},
    {IDS_FAIL_START_TIMEOUT, "The proxy server did not report running within %1 s.",
     "代理服务器在 %1 秒内未进入运行状态。"},
    {IDS_FAIL_STOP_TIMEOUT, "The proxy server did not stop within %1 s.",
     "代理服务器在 %1 秒内未停止。"},
    {IDS_PORT_HELD,
     "Port %1 is already in use by another program (%2): the proxy server cannot listen on it "
     "while that program holds it. Save this port anyway?",
     "端口 %1 已被其他程序（%2）占用："
     "在该程序释放之前，代理服务无法在其上监听。仍要保存此端口吗？"},
    {IDS_PORT_HELD_UNKNOWN, "unknown", "未知"},
    {IDS_CTL_NEED_ROOT,
     "root rights are needed to control the proxy service and change main.db; run "
     "torvoproxyctl as root (for example with sudo).",
     "需要 root 权限才能控制代理服务并修改 main.db；请以 root 身份运行 torvoproxyctl（例如使用 "
     "sudo）。"},
    {IDS_CTL_NEED_WRITE_ACCESS,
     "write access to the install folder %1 and its main.db is needed; run torvoproxyctl as an "
     "account that may write there.",
     "需要安装目录 %1 及其 main.db 的写权限；请以有该权限的账户运行 torvoproxyctl。"},
    {IDS_CTL_DB_UNUSABLE, "main.db (%1) cannot be used: %2", "无法使用 main.db（%1）：%2"},
    {IDS_CTL_NO_ACCOUNT, "There is no account named \"%1\".", "不存在名为“%1”的账号。"},
    {IDS_CTL_BAD_DATE, "\"%1\" is not a date (YYYY-MM-DD).", "“%1”不是日期（YYYY-MM-DD）。"},
    {IDS_CTL_BAD_TIME,
     "\"%1\" is not a time (YYYY-MM-DD, \"YYYY-MM-DD HH:MM[:SS]\" or @seconds of Unix time).",
     "“%1”不是时间（YYYY-MM-DD、“YYYY-MM-DD HH:MM[:SS]”或 @Unix 秒数）。"},
    {IDS_CTL_BAD_AMOUNT, "%1 must be a whole number from 1 to %2.",
     "%1 必须是 1 到 %2 之间的整数。"},
    {IDS_CTL_PASSWORD_STDIN,
     "Give the password on standard input with --password-stdin, or run on a terminal to be "
     "asked for it.",
     "请使用 --password-stdin 从标准输入提供密码，或在终端上运行以输入密码。"},
    {IDS_CTL_STATE_NOT_INSTALLED, "not installed", "未安装"},
    {IDS_CTL_STATE_STOPPED, "stopped", "已停止"},
    {IDS_CTL_STATE_STARTING, "starting", "启动中"},
    {IDS_CTL_STATE_STOPPING, "stopping", "停止中"},
    {IDS_CTL_STATE_RUNNING, "running", "运行中"},
    {IDS_CTL_STATE_UNKNOWN, "unknown", "无法识别"},
    {IDS_CTL_SERVICE, "Proxy service", "代理服务"},
    {IDS_CTL_ACCOUNTS, "Accounts", "账号数"},
    {IDS_CTL_SERVER_VERSION, "Server version", "服务器版本"},
    {IDS_CTL_RUNNING_PORT, "Running server's listen port", "运行中服务的监听端口"},
    {IDS_CTL_ON, "on", "开"},
    {IDS_CTL_OFF, "off", "关"},
    {IDS_CTL_NOT_INSTALLED_HINT,
     "The proxy service is not installed; install it first (torvoproxyctl install).",
     "代理服务未安装；请先安装（torvoproxyctl install）。"},
    {IDS_CTL_DELETED, "Deleted successfully", "删除成功"},
    {IDS_CTL_NETWORK_ABSENT, "%1 is not in the list.", "%1 不在列表中。"},
    {IDS_CTL_NETWORK_PRESENT, "%1 is already in the list.", "%1 已在列表中。"},
    {IDS_CTL_PORT_HELD,
     "Port %1 is in use by another program (%2): the proxy server cannot listen on it while "
     "that program holds it.",
     "端口 %1 已被其他程序（%2）占用：在该程序释放之前，代理服务无法在其上监听。"},
    {IDS_CTL_NOT_APPLIED,
     "The running proxy server did not confirm the change; restart it to be sure "
     "(torvoproxyctl restart).",
     "运行中的代理服务未确认此修改；请重启以确保生效（torvoproxyctl restart）。"},
    {IDS_CTL_BACKUP_DONE, "Backup written to %1", "已备份到 %1"},
    {IDS_CTL_BAD_BACKUP, "%1 is not a usable backup of main.db: %2",
     "%1 不是可用的 main.db 备份：%2"},
    {IDS_CTL_RESTORED, "main.db restored from %1; the previous one is kept as %2.",
     "已从 %1 恢复 main.db；原文件保留为 %2。"},
    {IDS_CTL_FILE_FAILED, "%1: %2", "%1：%2"},
    {IDS_CTL_SERVER_NOT_RUNNING,
     "The proxy server is not running; start it first (torvoproxyctl start).",
     "代理服务未运行；请先启动（torvoproxyctl start）。"},
    {IDS_CTL_NO_ANSWER, "The proxy server did not answer on its control channel (127.0.0.1:%1).",
     "代理服务未在其控制通道（127.0.0.1:%1）上应答。"},
    {IDS_CTL_SERVER_REFUSED, "The proxy server refused the command: %1",
     "代理服务拒绝了此命令：%1"},
    {IDS_CTL_BAD_ID, "\"%1\" is not a connection id (a whole number, as connections lists).",
     "“%1”不是连接编号（应为 connections 列出的整数）。"},
    {IDS_CTL_BAD_ADDRESS, "\"%1\" is not an IPv4 or IPv6 address.", "“%1”不是 IPv4 或 IPv6 地址。"},
    {IDS_CTL_CLOSED, "Closed %1 connection(s).", "已断开 %1 个连接。"},
    {IDS_CTL_CLOSED_NONE, "No connection matched; none was closed.",
     "没有匹配的连接，未断开任何连接。"},
    {IDS_CTL_FASTEST_SHOWN, "The %1 fastest of %2 connections are shown.",
     "共 %2 个连接，显示速率最高的 %1 个。"},
    {IDS_CTL_COL_ID, "Id", "编号"},
    {IDS_CTL_COL_PROTOCOL, "Protocol", "协议"},
    {IDS_CTL_COL_DESTINATION, "Destination", "目标"},
    {IDS_CTL_COL_SINCE, "Since", "开始时间"},
    {IDS_CTL_COL_UP, "Up", "上行"},
    {IDS_CTL_COL_DOWN, "Down", "下行"},
    {IDS_CTL_COL_RATE, "Rate", "速率"},
    {IDS_CTL_COL_DAY, "Day", "日期"},
    {IDS_CTL_COL_TOTAL, "Total", "合计"},
    {IDS_CTL_BAD_REPLY, "The proxy server's answer could not be read.", "无法读取代理服务的应答。"},
    {IDS_TAB_CONNECTIONS, "Connections", "当前连接"},
    {IDS_COL_CLIENT_ADDRESS, "Client address", "客户端地址"},
    {IDS_ANONYMOUS, "(anonymous)", "（匿名）"},
    {IDS_CONNECTION_COUNT, "Connections: %1", "连接数：%1"},
    {IDS_CONNECTION_PARTIAL, "Connections: %1 of %2", "连接数：%1（共 %2）"},
    {IDS_DISCONNECT, "Disconnect", "断开连接"},
    {IDS_DISCONNECT_USER, "Disconnect all of this user", "断开该用户的所有连接"},
    {IDS_DISCONNECT_ADDRESS, "Disconnect all of this address", "断开该地址的所有连接"},
    {IDS_DISABLE_ACCOUNT, "Disable account", "停用账号"},
    {IDS_CONFIRM_DISCONNECT_ONE, "Disconnect the connection from %1 to %2?",
     "断开从 %1 到 %2 的连接吗？"},
    {IDS_CONFIRM_DISCONNECT_MANY, "Disconnect the %1 selected connections?",
     "断开选中的 %1 个连接吗？"},
    {IDS_CONFIRM_USER_ONE, "Disconnect the connection of %2?", "断开 %2 的连接吗？"},
    {IDS_CONFIRM_USER_MANY, "Disconnect the %1 connections of %2?", "断开 %2 的 %1 个连接吗？"},
    {IDS_CONFIRM_ADDRESS_ONE, "Disconnect the connection from %2?", "断开来自 %2 的连接吗？"},
    {IDS_CONFIRM_ADDRESS_MANY, "Disconnect the %1 connections from %2?",
     "断开来自 %2 的 %1 个连接吗？"},
    {IDS_CONFIRM_DISABLE_ONE, "Disable the account %2 and disconnect its connection?",
     "停用账号 %2 并断开其连接吗？"},
    {IDS_CONFIRM_DISABLE_MANY, "Disable the account %2 and disconnect its %1 connections?",
     "停用账号 %2 并断开其 %1 个连接吗？"},
    {IDS_CONNECTIONS_CLOSED, "Connections closed: %1", "已断开的连接：%1"},
    {IDS_DISCONNECT_FAILED, "The server did not disconnect: it is stopped or refused.",
     "服务器未断开连接：服务已停止或拒绝了该操作。"},
    {IDS_TRAFFIC_TITLE, "Traffic of %1 per day, last 30 days", "%1 最近 30 天每日流量"},
    {IDS_TRAFFIC_AXIS, "Traffic (%1)", "流量（%1）"},
    {IDS_NO_TRAFFIC, "No traffic recorded for %1", "%1 没有流量记录"},
    {IDS_TRAFFIC_HINT, "Select an account to see its traffic per day", "选择账号以查看其每日流量"},
};

constexpr bool IdsAscending() {
    for (std::size_t i = 1; i < std::size(kNumbered); ++i) {
        if (kNumbered[i - 1].id >= kNumbered[i].id) return false;
    }
    return true;
}
static_assert(IdsAscending(), "numbered strings must be sorted by id");

struct ControlText {
    Ctl id;
    const char* english;
    const char* chinese;
};

// In the order of the enum (checked below).
constexpr ControlText kControls[] = {
    {Ctl::MenuFile, "File", "文件"},
    {Ctl::MenuExit, "Exit", "退出"},
    {Ctl::MenuLanguage, "语言", "Language"},
    {Ctl::MenuChinese, "中文", "中文"},
    {Ctl::MenuEnglish, "English", "English"},
    {Ctl::MenuAbout, "About", "关于"},
    {Ctl::MenuAboutUs, "About us", "关于我们"},
    {Ctl::AboutOk, "Ok", "确定"},
    {Ctl::AboutOnlineHelp, "Online help", "在线帮助"},
    {Ctl::EngineGroup, "Proxy engine control", "引擎控制"},
    {Ctl::StatisticsGroup, "Statistics", "统计信息"},
    {Ctl::EngineButton, "Start proxy service", "启动代理服务"},
    {Ctl::SystemSettingGroup, "System setting", "系统设置"},
    {Ctl::AccountSettingGroup, "Account setting", "账号设置"},
    {Ctl::AllowAnonymous, "Allow anonymous access", "允许匿名访问"},
    {Ctl::AllowTorvoAgent, "Allow TorvoAgent", "允许TorvoAgent连接"},
    {Ctl::ListenPortLabel, "Proxy service listen port:", "代理服务端口:"},
    {Ctl::ProtocolHint, "support http, sock5 proxy protocol", "支持http, sock5代理协议"},
    {Ctl::Save, "Save", "保存"},
    {Ctl::AccountUserName, "User name：", "用户名："},
    {Ctl::AccountPassword, "Password：", "密码："},
    {Ctl::AccountRepeatPassword, "Repeat password：", "重复密码："},
    {Ctl::AccountOk, "Ok", "确定"},
    {Ctl::AccountCancel, "Cancel", "取消"},
    {Ctl::DeleteAccount, "Delete account", "删除账号"},
    {Ctl::PortOutOfRange, "Please enter an integer between 1 and 65535 as the listen port.",
     "请输入1到65535之间的整数作为代理服务端口。"},
    {Ctl::NeedRoot,
     "TorvoProxy needs root rights to control the proxy service, and no elevation prompt "
     "(pkexec) is available. Please start the console as root.",
     "TorvoProxy需要root权限才能控制代理服务，但系统没有提权工具（pkexec）"
     "。请以root身份启动控制台。"},
    {Ctl::NeedWriteAccess,
     "TorvoProxy needs write access to its install directory %1 to control the proxy service "
     "and keep its settings. Please start the console as a user who may write there.",
     "TorvoProxy需要安装目录%"
     "1的写权限才能控制代理服务并保存设置。请以有该目录写权限的用户启动控制台。"},
    {Ctl::UnsafeLockFolder,
     "TorvoProxy cannot keep its single-instance lock safely: %1. Another account may have "
     "prepared this folder; remove it or set XDG_RUNTIME_DIR to a private folder.",
     "TorvoProxy无法安全地保存单实例锁：%1。该文件夹可能由其他账户预先创建；"
     "请删除它，或将XDG_RUNTIME_DIR设为私有文件夹。"},
    {Ctl::AutoRefresh, "Auto refresh", "自动刷新"},
    {Ctl::RecordFilter, "Filter", "筛选"},
    {Ctl::RecordExport, "Export…", "导出…"},
    {Ctl::CsvFiles, "CSV files (*.csv)", "CSV 文件 (*.csv)"},
    {Ctl::ExportFailed, "Export failed: %1", "导出失败：%1"},
};

constexpr bool ControlsInEnumOrder() {
    if (std::size(kControls) != static_cast<std::size_t>(Ctl::Count_)) return false;
    for (std::size_t i = 0; i < std::size(kControls); ++i) {
        if (static_cast<std::size_t>(kControls[i].id) != i) return false;
    }
    return true;
}
static_assert(ControlsInEnumOrder(), "control texts must list every Ctl in enum order");

constexpr const char* kFixed[] = {"提示", "该程序已经在运行", "Operation failed", "Tip"};
static_assert(std::size(kFixed) == static_cast<std::size_t>(Fixed::Count_));

const char* Pick(const char* english, const char* chinese, UiLanguage language) {
    return language == UiLanguage::Chinese ? chinese : english;
}

}  // namespace

UiLanguage UiLanguageForSetting(const std::string& language) {
    return language == "zh" ? UiLanguage::Chinese : UiLanguage::English;
}

const char* TextOf(int id, UiLanguage language) {
    const auto* end = std::end(kNumbered);
    const auto* it = std::lower_bound(std::begin(kNumbered), end, id,
                                      [](const NumberedText& t, int v) { return t.id < v; });
    if (it == end || it->id != id) return nullptr;
    return Pick(it->english, it->chinese, language);
}

const int* AllStringIds(int* count) {
    static const auto ids = [] {
        std::array<int, std::size(kNumbered)> out{};
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = kNumbered[i].id;
        return out;
    }();
    if (count) *count = static_cast<int>(ids.size());
    return ids.data();
}

const char* TextOf(Ctl id, UiLanguage language) {
    const auto index = static_cast<std::size_t>(id);
    if (index >= std::size(kControls)) return "";
    return Pick(kControls[index].english, kControls[index].chinese, language);
}

const char* TextOf(Fixed id) {
    const auto index = static_cast<std::size_t>(id);
    return index < std::size(kFixed) ? kFixed[index] : "";
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const std::size_t index = static_cast<std::size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            out += *(args.begin() + index);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace res
