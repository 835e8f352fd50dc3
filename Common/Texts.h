#pragma once
// The administrator's texts in English and Simplified Chinese, as UTF-8: every numbered string,
// the texts of dialog controls and menus, and the few that never change. The window console
// and the command-line console show them from this one table.
#include <initializer_list>
#include <string>
#include <string_view>

#include "Common/UiLanguage.h"

namespace res {

// "zh" exactly (case-sensitive) selects Chinese; anything else, the empty text included, English.
UiLanguage UiLanguageForSetting(const std::string& language);

// Numbered strings (the ids below). An unknown id gives nullptr.
const char* TextOf(int id, UiLanguage language);

inline constexpr int IDS_ABOUTBOX = 101;             // "About TorvoProxy(&A)..."
inline constexpr int IDS_USER_NAME = 102;            // account list column 0
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;  // sockets layer failed at start-up
inline constexpr int IDS_CREATE_TIME = 104;          // account list column 1
inline constexpr int IDS_TIP_CAPTION = 106;          // "TorvoProxy tip": message box caption
inline constexpr int IDS_USER_NAME_OCCUPIED = 108;
inline constexpr int IDS_ADDED_SUCCESSFULLY = 109;
inline constexpr int IDS_SELECT_ACCOUNT_TO_MODIFY = 110;
inline constexpr int IDS_SELECT_ACCOUNT_TO_DELETE = 111;
inline constexpr int IDS_ADD_ACCOUNT = 112;     // add/modify dialog title, add
inline constexpr int IDS_MODIFY_ACCOUNT = 113;  // add/modify dialog title, modify
inline constexpr int IDS_MODIFIED_SUCCESSFULLY = 114;
inline constexpr int IDS_USER_NAME_EMPTY = 115;
inline constexpr int IDS_PASSWORD_EMPTY = 116;
inline constexpr int IDS_PASSWORDS_DIFFER = 117;
inline constexpr int IDS_COL_TIME = 118;
inline constexpr int IDS_COL_SOURCE = 119;
inline constexpr int IDS_COL_MESSAGE = 120;
inline constexpr int IDS_COL_ITEM = 121;   // dashboard statistics column 0
inline constexpr int IDS_COL_VALUE = 122;  // dashboard statistics column 1
inline constexpr int IDS_ROW_START_TIME = 123;
inline constexpr int IDS_ROW_ONLINE_USERS = 124;
inline constexpr int IDS_ROW_ONLINE_DEVICES = 125;
inline constexpr int IDS_ROW_TOTAL_NETWORK_FLOW = 126;
inline constexpr int IDS_ROW_ALARMS = 127;
inline constexpr int IDS_CHART_RATE = 128;  // rate axis label and series name
inline constexpr int IDS_CHART_TITLE = 129;
inline constexpr int IDS_ENGINE_NOT_INSTALLED = 130;  // service state 0
inline constexpr int IDS_ENGINE_START = 131;          // state 1
inline constexpr int IDS_ENGINE_STARTING = 132;       // state 2
inline constexpr int IDS_ENGINE_STOPPING = 133;       // state 3
inline constexpr int IDS_ENGINE_STOP = 134;           // state 4
inline constexpr int IDS_ENGINE_UNKNOWN = 135;        // any other state
inline constexpr int IDS_COL_USER = 136;
inline constexpr int IDS_COL_HOST = 137;
inline constexpr int IDS_COL_IP = 138;
inline constexpr int IDS_COL_TOTAL_FLOW = 139;
inline constexpr int IDS_COL_LAST_ACTIVITY_TIME = 140;
inline constexpr int IDS_TAB_REALTIME = 141;
inline constexpr int IDS_TAB_BY_DEVICE = 142;
inline constexpr int IDS_TAB_BY_USER = 143;
inline constexpr int IDS_COL_USER_NAME = 144;
inline constexpr int IDS_COL_CURRENT_CONNECTIONS = 145;
inline constexpr int IDS_COL_CURRENT_FLOW = 146;
inline constexpr int IDS_COL_CURRENT_SPEED = 147;
inline constexpr int IDS_RESTART_ENGINE_HINT = 150;
inline constexpr int IDS_SAVED_SUCCESSFULLY = 151;
inline constexpr int IDS_ABOUT_TITLE = 152;
inline constexpr int IDS_MAIN_TITLE = 153;
inline constexpr int IDS_TAB_MONITORING = 154;
inline constexpr int IDS_TAB_SETTING = 155;
inline constexpr int IDS_TAB_ALARM = 156;
inline constexpr int IDS_TAB_LOGS = 157;
// Additions of this build (ids 300-349).
inline constexpr int IDS_COPY = 300;                   // lists: copy the selected rows
inline constexpr int IDS_PORT_IS_CONTROL_PORT = 301;   // Save refuses the control port (%1)
inline constexpr int IDS_CLIENT_ADDRESSES = 302;       // "Clients (HTTP and SOCKS5): %1"
inline constexpr int IDS_RUNNING_PORT_DIFFERS = 303;   // running port %1, saved port %2
inline constexpr int IDS_REFRESH = 304;                // record pages: refill now (also F5)
inline constexpr int IDS_EXPORTED_TO = 305;            // export done: the file %1
inline constexpr int IDS_NOTICE_SERVER_STOPPED = 306;  // notification title
inline constexpr int IDS_NOTICE_SERVER_STOPPED_TEXT = 307;
inline constexpr int IDS_NOTICE_NEW_ALARMS = 308;       // notification title
inline constexpr int IDS_NOTICE_NEW_ALARMS_TEXT = 309;  // %1 new alarms, %2 in all
inline constexpr int IDS_HELP_FILE = 310;               // the help page beside MainUI
// Account pages (350-379).
inline constexpr int IDS_ACCOUNT_GONE = 350;         // modify: the account was deleted meanwhile
inline constexpr int IDS_USER_NAME_INVALID = 351;    // dialog check: ':' or a control character
inline constexpr int IDS_ACCOUNT_FIELDS_HINT = 352;  // dialog fields' tip: at most 20 characters
inline constexpr int IDS_KEEP_PASSWORD_HINT = 353;   // modify dialog: empty password fields
// Allowed client networks on the Setting page (400-419).
inline constexpr int IDS_NETWORKS_LABEL = 400;
inline constexpr int IDS_NETWORKS_HINT = 401;        // under the list while every entry is good
inline constexpr int IDS_NETWORK_NOT_ADDRESS = 402;  // line %1, entry %2
inline constexpr int IDS_NETWORK_BAD_PREFIX = 403;   // line %1, entry %2, longest prefix %3
inline constexpr int IDS_NETWORK_HOST_BITS = 404;    // line %1, entry %2, the network meant %3
inline constexpr int IDS_NETWORKS_EMPTY = 405;
inline constexpr int IDS_NETWORKS_OPEN = 406;    // 0.0.0.0/0 or ::/0 in the list
inline constexpr int IDS_NETWORKS_BUTTON = 407;  // Setting page: opens the networks dialog
inline constexpr int IDS_NETWORKS_TITLE = 408;   // the networks dialog's title
inline constexpr int IDS_RESTORE_DEFAULTS = 409;
inline constexpr int IDS_NETWORKS_UNREADABLE = 410;  // the stored list could not be read
inline constexpr int IDS_NETWORKS_NOT_SAVED = 411;   // Save: so it was kept, the rest saved
// Account limits (420-449).
inline constexpr int IDS_ACCOUNT_LIMITS = 420;  // toolbar tip: "Account limits"
inline constexpr int IDS_LIMITS_TITLE = 421;    // dialog title, %1 the user name
inline constexpr int IDS_COL_STATE = 422;       // account list columns 2-4
inline constexpr int IDS_COL_EXPIRES = 423;
inline constexpr int IDS_COL_MONTH_TRAFFIC = 424;
inline constexpr int IDS_STATE_ENABLED = 425;  // state column texts
inline constexpr int IDS_STATE_DISABLED = 426;
inline constexpr int IDS_STATE_EXPIRED = 427;
inline constexpr int IDS_STATE_QUOTA_USED = 428;
inline constexpr int IDS_NEVER = 429;          // expires column: no date
inline constexpr int IDS_UNLIMITED = 430;      // traffic column: no quota
inline constexpr int IDS_LIMIT_ENABLED = 431;  // dialog fields
inline constexpr int IDS_LIMIT_EXPIRES = 432;
inline constexpr int IDS_LIMIT_MONTHLY = 433;
inline constexpr int IDS_LIMIT_BANDWIDTH = 434;
inline constexpr int IDS_LIMITS_HINT = 435;                // dialog: what the limits mean
inline constexpr int IDS_SELECT_ACCOUNT_FOR_LIMITS = 436;  // Limits without a selection
// Why an operation failed, and warnings that keep the console's picture true (460-479).
inline constexpr int IDS_FAIL_REFUSED = 460;        // the manager's words %1
inline constexpr int IDS_FAIL_EXITED = 461;         // the server's words %1
inline constexpr int IDS_FAIL_EXITED_SILENT = 462;  // it left no words
inline constexpr int IDS_FAIL_START_TIMEOUT = 463;  // %1 seconds
inline constexpr int IDS_FAIL_STOP_TIMEOUT = 464;   // %1 seconds
inline constexpr int IDS_PORT_HELD = 465;           // Save: port %1 held by %2
inline constexpr int IDS_PORT_HELD_UNKNOWN = 466;   // the holder could not be named
// The command-line console (500-549).
inline constexpr int IDS_CTL_NEED_ROOT = 500;
inline constexpr int IDS_CTL_NEED_WRITE_ACCESS = 501;  // %1 the install folder
inline constexpr int IDS_CTL_DB_UNUSABLE = 502;        // %1 main.db's path, %2 why
inline constexpr int IDS_CTL_NO_ACCOUNT = 503;         // %1 the name
inline constexpr int IDS_CTL_BAD_DATE = 504;           // %1 as given
inline constexpr int IDS_CTL_BAD_TIME = 505;           // %1 as given
inline constexpr int IDS_CTL_BAD_AMOUNT = 506;         // %1 the option, %2 the largest
inline constexpr int IDS_CTL_PASSWORD_STDIN = 507;
inline constexpr int IDS_CTL_STATE_NOT_INSTALLED = 508;  // service states 0-4, then any other
inline constexpr int IDS_CTL_STATE_STOPPED = 509;
inline constexpr int IDS_CTL_STATE_STARTING = 510;
inline constexpr int IDS_CTL_STATE_STOPPING = 511;
inline constexpr int IDS_CTL_STATE_RUNNING = 512;
inline constexpr int IDS_CTL_STATE_UNKNOWN = 513;
inline constexpr int IDS_CTL_SERVICE = 514;  // status: "Proxy service"
inline constexpr int IDS_CTL_ACCOUNTS = 515;
inline constexpr int IDS_CTL_SERVER_VERSION = 516;
inline constexpr int IDS_CTL_RUNNING_PORT = 517;
inline constexpr int IDS_CTL_ON = 518;
inline constexpr int IDS_CTL_OFF = 519;
inline constexpr int IDS_CTL_NOT_INSTALLED_HINT = 520;
inline constexpr int IDS_CTL_DELETED = 521;
inline constexpr int IDS_CTL_NETWORK_ABSENT = 522;   // %1 the network
inline constexpr int IDS_CTL_NETWORK_PRESENT = 523;  // %1 the network
inline constexpr int IDS_CTL_PORT_HELD = 524;        // %1 port, %2 the holder
inline constexpr int IDS_CTL_NOT_APPLIED = 525;      // the running server did not answer
inline constexpr int IDS_CTL_BACKUP_DONE = 526;      // %1 the file
inline constexpr int IDS_CTL_BAD_BACKUP = 527;       // %1 the file, %2 why
inline constexpr int IDS_CTL_RESTORED = 528;         // %1 the file, %2 the old main.db kept
inline constexpr int IDS_CTL_FILE_FAILED = 529;      // %1 the file, %2 why
// The server's live connections and traffic, over the control channel.
inline constexpr int IDS_CTL_SERVER_NOT_RUNNING = 530;
inline constexpr int IDS_CTL_NO_ANSWER = 531;       // %1 the control port
inline constexpr int IDS_CTL_SERVER_REFUSED = 532;  // %1 the server's reason
inline constexpr int IDS_CTL_BAD_ID = 533;          // %1 as given
inline constexpr int IDS_CTL_BAD_ADDRESS = 534;     // %1 as given
inline constexpr int IDS_CTL_CLOSED = 535;          // %1 how many
inline constexpr int IDS_CTL_CLOSED_NONE = 536;
inline constexpr int IDS_CTL_FASTEST_SHOWN = 537;  // %1 rows shown, %2 connections in all
inline constexpr int IDS_CTL_COL_ID = 538;         // connection and traffic columns
inline constexpr int IDS_CTL_COL_PROTOCOL = 539;
inline constexpr int IDS_CTL_COL_DESTINATION = 540;
inline constexpr int IDS_CTL_COL_SINCE = 541;
inline constexpr int IDS_CTL_COL_UP = 542;
inline constexpr int IDS_CTL_COL_DOWN = 543;
inline constexpr int IDS_CTL_COL_RATE = 544;
inline constexpr int IDS_CTL_COL_DAY = 545;
inline constexpr int IDS_CTL_COL_TOTAL = 546;
inline constexpr int IDS_CTL_BAD_REPLY = 547;
// The live connections page and the account page's traffic chart (600-649); its columns
// are the command line's (IDS_CTL_COL_*) but for the client address.
inline constexpr int IDS_TAB_CONNECTIONS = 600;  // monitoring sub-page title
inline constexpr int IDS_COL_CLIENT_ADDRESS = 601;
inline constexpr int IDS_ANONYMOUS = 602;           // user column of a connection without one
inline constexpr int IDS_CONNECTION_COUNT = 603;    // %1 listed
inline constexpr int IDS_CONNECTION_PARTIAL = 604;  // %1 listed of %2 live
inline constexpr int IDS_DISCONNECT = 605;          // context menu
inline constexpr int IDS_DISCONNECT_USER = 606;
inline constexpr int IDS_DISCONNECT_ADDRESS = 607;
inline constexpr int IDS_DISABLE_ACCOUNT = 608;
inline constexpr int IDS_CONFIRM_DISCONNECT_ONE = 609;   // %1 address, %2 destination
inline constexpr int IDS_CONFIRM_DISCONNECT_MANY = 610;  // %1 selected rows
inline constexpr int IDS_CONFIRM_USER_ONE = 611;         // %2 the user (%1 unused: 1)
inline constexpr int IDS_CONFIRM_USER_MANY = 612;        // %1 listed, %2 the user
inline constexpr int IDS_CONFIRM_ADDRESS_ONE = 613;      // %2 the address
inline constexpr int IDS_CONFIRM_ADDRESS_MANY = 614;     // %1 listed, %2 the address
inline constexpr int IDS_CONFIRM_DISABLE_ONE = 615;      // %2 the user
inline constexpr int IDS_CONFIRM_DISABLE_MANY = 616;     // %1 listed, %2 the user
inline constexpr int IDS_CONNECTIONS_CLOSED = 617;       // %1 closed by the server
inline constexpr int IDS_DISCONNECT_FAILED = 618;        // no answer or a refusal
inline constexpr int IDS_TRAFFIC_TITLE = 619;            // %1 the account
inline constexpr int IDS_TRAFFIC_AXIS = 620;             // %1 the unit ("MB")
inline constexpr int IDS_NO_TRAFFIC = 621;               // %1 the account
inline constexpr int IDS_TRAFFIC_HINT = 622;             // no account selected

// Every numbered id of the table, ascending.
const int* AllStringIds(int* count);

// Texts of dialog controls and menus (they have no number of their own).
enum class Ctl {
    // main window menu
    MenuFile,      // "File" / "文件"
    MenuExit,      // "Exit" / "退出"
    MenuLanguage,  // "语言" / "Language": each set names the popup in the other language
    MenuChinese,   // "中文" in both
    MenuEnglish,   // "English" in both
    MenuAbout,     // "About" / "关于"
    MenuAboutUs,   // "About us" / "关于我们"
    // about box
    AboutOk,          // "Ok" / "确定"
    AboutOnlineHelp,  // "Online help" / "在线帮助"
    // dashboard
    EngineGroup,      // "Proxy engine control" / "引擎控制"
    StatisticsGroup,  // "Statistics" / "统计信息"
    EngineButton,     // "Start proxy service" / "启动代理服务" (replaced at once)
    // settings page
    SystemSettingGroup,   // "System setting" / "系统设置"
    AccountSettingGroup,  // "Account setting" / "账号设置"
    AllowAnonymous,       // "Allow anonymous access" / "允许匿名访问"
    AllowTorvoAgent,      // "Allow TorvoAgent" / "允许TorvoAgent连接"
    ListenPortLabel,      // "Proxy service listen port:" / "代理服务端口:"
    ProtocolHint,         // "support http, sock5 proxy protocol" / "支持http, sock5代理协议"
    Save,                 // "Save" / "保存"
    // add/modify account dialog
    AccountUserName,        // "User name：" / "用户名："
    AccountPassword,        // "Password：" / "密码："
    AccountRepeatPassword,  // "Repeat password：" / "重复密码："
    AccountOk,              // "Ok" / "确定"
    AccountCancel,          // "Cancel" / "取消"
    DeleteAccount,          // toolbar tip: "Delete account" / "删除账号"
    PortOutOfRange,         // settings Save: the listen port is not an integer from 1 to 65535
    // start-up, when the console lacks the rights it needs and cannot gain them
    NeedRoot,          // the system service needs root; no elevation prompt is available
    NeedWriteAccess,   // the install directory (%1) is not writable
    UnsafeLockFolder,  // the single-instance lock's folder is refused: %1 says why
    // alarm and access-history pages
    AutoRefresh,   // "Auto refresh" / "自动刷新" (toolbar button tip)
    RecordFilter,  // "Filter" / "筛选" (filter box hint)
    RecordExport,  // "Export…" / "导出…"
    CsvFiles,      // "CSV files (*.csv)" / "CSV 文件 (*.csv)"
    ExportFailed,  // "Export failed: %1" / "导出失败：%1"
    Count_
};
const char* TextOf(Ctl id, UiLanguage language);

// Texts that are the same in every language (never translated).
enum class Fixed {
    AlreadyRunningCaption,   // "提示"
    AlreadyRunningText,      // "该程序已经在运行"
    OperationFailedText,     // "Operation failed"
    OperationFailedCaption,  // "Tip"
    Count_
};
const char* TextOf(Fixed id);

// `pattern` with %1 ... %9 replaced by `args` in one pass, so an argument that holds "%2" is
// shown as it is; a marker without its argument stays as written.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace res
