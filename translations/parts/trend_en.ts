<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
<context>
    <name>kelmar::InstallWindow</name>
    <message>
        <source>INSTALL(安裝)</source>
        <translation>INSTALL</translation>
    </message>
    <message>
        <source>安裝</source>
        <translation>Install</translation>
    </message>
    <message>
        <source>安裝未完成。下列步驟失敗：
The installation is not complete. These steps failed:

%1</source>
        <translation>The installation is not complete. These steps failed:

%1</translation>
    </message>
</context>
<context>
    <name>kelmar::PublishConfig</name>
    <message>
        <source>publish.ini: %1 的值「%2」無效，使用預設值 %3 (publish.ini: %1 &quot;%2&quot; is not valid, default %3 kept)</source>
        <translation>publish.ini: %1 &quot;%2&quot; is not valid, default %3 kept</translation>
    </message>
    <message>
        <source>用戶端代號「%1」只能用英文字母、數字、_ 與 - (client_id &quot;%1&quot; may hold only A-Z a-z 0-9 _ -: Home Assistant and brokers refuse other characters)</source>
        <translation>client_id &quot;%1&quot; may hold only A-Z a-z 0-9 _ -: Home Assistant and brokers refuse other characters</translation>
    </message>
    <message>
        <source>設定值不可含換行或控制字元 (a value may not hold a line break or control character)</source>
        <translation>A value may not hold a line break or control character</translation>
    </message>
    <message>
        <source>%1 不是 UTF-8 文字檔，不發佈資料 (%1 is not UTF-8 text: publishing off)</source>
        <translation>%1 is not UTF-8 text: publishing off</translation>
    </message>
    <message>
        <source>publish.ini 第 %1 行不是「鍵=值」，略過 (publish.ini line %1 is not key=value: ignored)</source>
        <translation>publish.ini line %1 is not key=value: ignored</translation>
    </message>
    <message>
        <source>publish.ini 第 %1 行：不認得的鍵 %2，略過 (publish.ini line %1: unknown key %2 ignored)</source>
        <translation>publish.ini line %1: unknown key %2 ignored</translation>
    </message>
    <message>
        <source>%1 沒有 [publish] 段，不發佈資料 (%1 has no [publish] section: publishing off)</source>
        <translation>%1 has no [publish] section: publishing off</translation>
    </message>
    <message>
        <source>publish.ini: 用戶端代號「%1」只能用英文字母、數字、_ 與 - (client_id &quot;%1&quot; may hold only A-Z a-z 0-9 _ -: Home Assistant and brokers refuse other characters)，使用預設值 %2 (default %2 kept)</source>
        <translation>publish.ini: client_id &quot;%1&quot; may hold only A-Z a-z 0-9 _ - (Home Assistant and brokers refuse other characters): default %2 kept</translation>
    </message>
    <message>
        <source>無法讀取 %1，不發佈資料 (%1 cannot be read, publishing off)</source>
        <translation>%1 cannot be read: publishing off</translation>
    </message>
</context>
<context>
    <name>kelmar::PublishWindow</name>
    <message>
        <source>資料發佈 (publish)</source>
        <translation>Publish</translation>
    </message>
    <message>
        <source>發佈讀值到 MQTT 代理</source>
        <translation>Publish readings to an MQTT broker</translation>
    </message>
    <message>
        <source>代理主機</source>
        <translation>Broker host</translation>
    </message>
    <message>
        <source>埠</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>TLS 加密連線</source>
        <translation>TLS encryption</translation>
    </message>
    <message>
        <source>CA 憑證檔</source>
        <translation>CA file</translation>
    </message>
    <message>
        <source>帳號</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>密碼</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>用戶端代號</source>
        <translation>Client ID</translation>
    </message>
    <message>
        <source>主題前綴</source>
        <translation>Topic prefix</translation>
    </message>
    <message>
        <source>佇列上限</source>
        <translation>Queue limit</translation>
    </message>
    <message>
        <source>Home Assistant 自動探索</source>
        <translation>Home Assistant discovery</translation>
    </message>
    <message>
        <source>套用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>離開</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>未啟用 (off)</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>連線中 (connecting)</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>已連線 (connected)</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>等待代理 (waiting)</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>被拒絕 (refused)</source>
        <translation>Refused</translation>
    </message>
    <message>
        <source>已發佈 %1
佇列中 %2
已捨棄 %3</source>
        <translation>Published %1
Queued %2
Dropped %3</translation>
    </message>
</context>
<context>
    <name>kelmar::Publisher</name>
    <message>
        <source>MQTT 代理 %1 拒絕登入，請檢查帳號密碼 (broker %1 refused the login: check user name and password)</source>
        <translation>Broker %1 refused the login: check user name and password</translation>
    </message>
    <message>
        <source>MQTT 代理 %1 拒絕連線 (broker %1 refused the connection: %2)</source>
        <translation>Broker %1 refused the connection: %2</translation>
    </message>
    <message>
        <source>MQTT 代理 %1 TLS 連線失敗 (TLS with broker %1 failed: %2)</source>
        <translation>TLS with broker %1 failed: %2</translation>
    </message>
    <message>
        <source>無法連線到 MQTT 代理 %1，稍後重試 (cannot connect to broker %1: %2; trying again)</source>
        <translation>Cannot connect to broker %1: %2; trying again</translation>
    </message>
    <message>
        <source>與 MQTT 代理 %1 的連線中斷，稍後重試 (connection to broker %1 lost: %2; trying again)</source>
        <translation>Connection to broker %1 lost: %2; trying again</translation>
    </message>
</context>
<context>
    <name>kelmar::RecordReader</name>
    <message>
        <source>記錄資料夾不存在 (record folder missing)</source>
        <translation>Record folder missing</translation>
    </message>
    <message>
        <source>不是一般檔案 (not a regular file)</source>
        <translation>Not a regular file</translation>
    </message>
    <message>
        <source>第 %1 行不完整或格式不符，已略過 (line %1 cut or malformed, skipped): %2</source>
        <translation>Line %1 cut or malformed, skipped: %2</translation>
    </message>
    <message>
        <source>找不到檔案 (file missing)</source>
        <translation>File missing</translation>
    </message>
    <message>
        <source>檔案過大，不是記錄檔 (file too large for a record file)</source>
        <translation>File too large for a record file</translation>
    </message>
    <message>
        <source>無法讀取 (cannot read)</source>
        <translation>Cannot read</translation>
    </message>
    <message>
        <source>不是記錄檔，%1 行無法讀取 (not a record file, %1 unreadable lines)</source>
        <translation>Not a record file, %1 unreadable lines</translation>
    </message>
    <message>
        <source>另有 %1 行略過 (%1 more lines skipped)</source>
        <translation>%1 more lines skipped</translation>
    </message>
    <message>
        <source>檔名沒有日期時間 (file name has no date and time)</source>
        <translation>File name has no date and time</translation>
    </message>
</context>
<context>
    <name>kelmar::TrendCsv</name>
    <message>
        <source>無法讀取 (cannot read)</source>
        <translation>Cannot read</translation>
    </message>
    <message>
        <source>儀表%1</source>
        <extracomment>The name of meter slot %1 when it has no title.</extracomment>
        <translation>Meter %1</translation>
    </message>
</context>
<context>
    <name>kelmar::TrendSource</name>
    <message>
        <source>%1 起 %2 小時內沒有記錄檔 (no record files in the %2 hours from %1)</source>
        <translation>No record files in the %2 hours from %1</translation>
    </message>
    <message>
        <source>匯出進行中 (an export is running)</source>
        <translation>An export is running</translation>
    </message>
</context>
<context>
    <name>kelmar::TrendWindow</name>
    <message>
        <source>趨勢圖 (trend)</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>讀取 (load)</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>跟隨最新 (follow newest)</source>
        <translation>Follow newest</translation>
    </message>
    <message>
        <source>全部 (fit all)</source>
        <translation>Fit all</translation>
    </message>
    <message>
        <source>匯出 PNG (export PNG)</source>
        <translation>Export PNG</translation>
    </message>
    <message>
        <source>匯出 CSV (export CSV)</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>日期 (date)</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>時 (hour)</source>
        <translation>Hour</translation>
    </message>
    <message>
        <source>小時數 (hours)</source>
        <translation>Hours</translation>
    </message>
    <message>
        <source>時間 (time)</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>勾選顯示；點選曲線顯示其刻度 (tick to show; choose a curve to see its scale)</source>
        <translation>Tick to show; choose a curve to see its scale</translation>
    </message>
    <message>
        <source>讀取中… (loading)</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>… 另有 %1 則 (%1 more)</source>
        <translation>… %1 more</translation>
    </message>
    <message>
        <source>無法產生圖片 (cannot make the picture)</source>
        <translation>Cannot make the picture</translation>
    </message>
</context>
</TS>
