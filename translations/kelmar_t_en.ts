<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
<context>
    <name>kelmar::ComPortMap</name>
    <message>
        <source>%1 第 1 行不是 tcp://主機:埠 或 rtu+tcp://主機:埠 (%1, line 1 is not tcp://HOST:PORT or rtu+tcp://HOST:PORT: &quot;%2&quot;)</source>
        <translation>%1, line 1 is not tcp://HOST:PORT or rtu+tcp://HOST:PORT: &quot;%2&quot;</translation>
    </message>
    <message>
        <source>%1 第 1 行讀不到 (%1, line 1 cannot be read (not a small text file))</source>
        <translation>%1 cannot be read (not a small text file)</translation>
    </message>
    <message>
        <source>%1 第 1 行的網路埠不在此版本中 (%1, line 1 names a network port: not in this build)</source>
        <translation>%1, line 1 names a network port: not in this build</translation>
    </message>
</context>
<context>
    <name>kelmar::CommandLine</name>
    <message>
        <source>用法 (usage):
  Kelmar_T [--lang LANGUAGE]       視窗 (the windows)
  Kelmar_T --service [FOLDER] [--no-record] [--lang LANGUAGE]
      不開視窗：依 FOLDER (預設為程式資料夾) 的 setup.ini、meters.ini、publish.ini
      連線、輪詢、記錄並發佈；訊息寫到標準錯誤輸出
      (no window: connects, polls, records and publishes as setup.ini, meters.ini
      and publish.ini in FOLDER say, the program&apos;s own folder by default;
      notices go to standard error. SIGTERM or SIGINT ends it, SIGHUP reads
      meters.ini and publish.ini again)
      --no-record   不寫記錄檔 (no record files)
  --lang zh_TW | en  介面語言，預設依系統語言 (the interface&apos;s language;
      the system&apos;s by default)
  Kelmar_T --help                  本說明 (this text)
</source>
        <translation>Usage:
  Kelmar_T [--lang LANGUAGE]       the windows
  Kelmar_T --service [FOLDER] [--no-record] [--lang LANGUAGE]
      no window: connects, polls, records and publishes as setup.ini, meters.ini
      and publish.ini in FOLDER say, the program&apos;s own folder by default;
      notices go to standard error. SIGTERM or SIGINT ends it, SIGHUP reads
      meters.ini and publish.ini again
      --no-record   no record files
  --lang zh_TW | en  the interface&apos;s language, the system&apos;s by default
  Kelmar_T --help                  this text
</translation>
    </message>
    <message>
        <source>無法辨識的參數 (unknown argument): %1</source>
        <translation>Unknown argument: %1</translation>
    </message>
</context>
<context>
    <name>kelmar::Form1</name>
    <message>
        <source>主機端設定</source>
        <translation>Host Settings</translation>
    </message>
    <message>
        <source>啟動/顯示</source>
        <translation>Start/Display</translation>
    </message>
    <message>
        <source>儀表參數設定</source>
        <translation>Meter Setup</translation>
    </message>
    <message>
        <source>離開</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>通訊統計</source>
        <translation>Counters</translation>
    </message>
    <message>
        <source>通訊統計 (line counters)</source>
        <translation>Line counters</translation>
    </message>
    <message>
        <source>趨勢圖</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>趨勢圖 (trend)</source>
        <translation>Trend chart</translation>
    </message>
    <message>
        <source>找不到圖檔 (picture missing): %1</source>
        <translation>Picture missing: %1</translation>
    </message>
    <message>
        <source>資料發佈</source>
        <translation>Publish</translation>
    </message>
    <message>
        <source>資料發佈 (publish)</source>
        <translation>Publish to MQTT</translation>
    </message>
    <message>
        <source>監控/記錄中，確定離開？ (monitoring or recording is on: quit?)</source>
        <translation>Monitoring or recording is on: quit?</translation>
    </message>
</context>
<context>
    <name>kelmar::Form2</name>
    <message>
        <source>主機端設定</source>
        <translation>Host settings</translation>
    </message>
    <message>
        <source>設定COM 埠</source>
        <translation>COM port settings</translation>
    </message>
    <message>
        <source>COM 埠</source>
        <translation>COM port</translation>
    </message>
    <message>
        <source>通訊鮑率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>通訊協定</source>
        <extracomment>the line&apos;s parity, data bits and stop bits, such as N,8,1</extracomment>
        <translation>Framing</translation>
    </message>
    <message>
        <source>顯示條件</source>
        <translation>Screen size</translation>
    </message>
    <message>
        <source>設定記錄檔路徑</source>
        <translation>Record folder</translation>
    </message>
    <message>
        <source>建立記錄檔</source>
        <translation>Record to file</translation>
    </message>
    <message>
        <source>連線COM</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>解除COM</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>離開</source>
        <extracomment>saves the settings and hides the window</extracomment>
        <translation>Close</translation>
    </message>
    <message>
        <source>網路埠 %1：不使用鮑率與通訊協定 (a network port: baud rate and framing are not used)</source>
        <translation>Network port %1: baud rate and framing are not used</translation>
    </message>
</context>
<context>
    <name>kelmar::Form3</name>
    <message>
        <source>RECORD</source>
        <extracomment>The recording indicator of the display window.</extracomment>
        <translation>RECORD</translation>
    </message>
    <message>
        <source>Kelmar 資訊顯示</source>
        <translation>Kelmar information display</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>kelmar::Form4</name>
    <message>
        <source>儀表參數設定</source>
        <translation>Meter setup</translation>
    </message>
    <message>
        <source>儀表%1</source>
        <translation>Meter %1</translation>
    </message>
    <message>
        <source>儀表ID</source>
        <translation>Slave ID</translation>
    </message>
    <message>
        <source>小數點</source>
        <extracomment>the number of decimal places a reading is shown with</extracomment>
        <translation>Decimals</translation>
    </message>
    <message>
        <source>型號</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>資訊輸入</source>
        <extracomment>the slot&apos;s title, shown with its readings on the display</extracomment>
        <translation>Title</translation>
    </message>
    <message>
        <source>離開</source>
        <extracomment>saves the slots and hides the window</extracomment>
        <translation>Close</translation>
    </message>
    <message>
        <source>儀表%1 的型號「%2」不在 meter.txt，請從清單選擇 (slot %1: model &quot;%2&quot; is not in meter.txt, choose one from the list)</source>
        <translation>Slot %1: model &quot;%2&quot; is not in meter.txt, choose one from the list</translation>
    </message>
</context>
<context>
    <name>kelmar::HealthWindow</name>
    <message>
        <source>儀表
(slot)</source>
        <translation>Slot</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>傳送
(sent)</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>正常
(good)</source>
        <translation>Good</translation>
    </message>
    <message>
        <source>無回應
(no reply)</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>通訊錯誤
(bad reply)</source>
        <translation>Bad reply</translation>
    </message>
    <message>
        <source>例外
(exception)</source>
        <translation>Exception</translation>
    </message>
    <message>
        <source>最後錯誤
(last failure)</source>
        <translation>Last failure</translation>
    </message>
    <message>
        <source>通訊統計 (line counters)</source>
        <translation>Line counters</translation>
    </message>
    <message>
        <source>通訊統計 (line counters) %1</source>
        <translation>Line counters %1</translation>
    </message>
    <message>
        <source>儀表%1</source>
        <translation>Meter %1</translation>
    </message>
</context>
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
    <name>kelmar::MeterTable</name>
    <message>
        <source>名稱含控制字元 (the name holds a control character)</source>
        <translation>the name holds a control character</translation>
    </message>
    <message>
        <source>暫存器不是十六進位 (a register or count is not hexadecimal)</source>
        <translation>a register or count is not hexadecimal</translation>
    </message>
    <message>
        <source>%1 第 %2 行不採用 (line %2 is not used): %3</source>
        <translation>%1 line %2 is not used: %3</translation>
    </message>
</context>
<context>
    <name>kelmar::MetersIni</name>
    <message>
        <source>meters.ini 儀表%1 的設定不完整或有誤，未載入 (slot %2 in meters.ini incomplete or wrong, not restored)</source>
        <translation>Slot %2 in meters.ini incomplete or wrong, not restored</translation>
    </message>
    <message>
        <source>meters.ini 不完整，缺少的儀表未載入 (meters.ini is cut short, missing slots not restored)</source>
        <translation>meters.ini is cut short, missing slots not restored</translation>
    </message>
    <message>
        <source>儀表%1 的儀表ID「%2」不是 %3 至 %4 的整數 (slot %1: slave ID &quot;%2&quot; is not a whole number from %3 to %4)</source>
        <translation>Slot %1: slave ID &quot;%2&quot; is not a whole number from %3 to %4</translation>
    </message>
    <message>
        <source>儀表ID「%1」不是 %2 至 %3 的整數 (slave ID &quot;%1&quot; is not a whole number from %2 to %3)</source>
        <translation>Slave ID &quot;%1&quot; is not a whole number from %2 to %3</translation>
    </message>
    <message>
        <source>儀表%1 的小數點「%2」不是 %3 至 %4 的整數 (slot %1: decimal places &quot;%2&quot; is not a whole number from %3 to %4)</source>
        <translation>Slot %1: decimal places &quot;%2&quot; is not a whole number from %3 to %4</translation>
    </message>
    <message>
        <source>小數點「%1」不是 %2 至 %3 的整數 (decimal places &quot;%1&quot; is not a whole number from %2 to %3)</source>
        <translation>Decimal places &quot;%1&quot; is not a whole number from %2 to %3</translation>
    </message>
    <message>
        <source>無法讀取 %1，儀表未載入 (cannot read %1, slots not restored)</source>
        <translation>Cannot read %1, slots not restored</translation>
    </message>
    <message>
        <source>%1 不是 UTF-8 文字，儀表未載入 (%1 is not UTF-8 text, slots not restored)</source>
        <translation>%1 is not UTF-8 text, slots not restored</translation>
    </message>
    <message>
        <source>%1 超過 %2 MB，儀表未載入 (%1 is larger than %2 MB, slots not restored)</source>
        <translation>%1 is larger than %2 MB, slots not restored</translation>
    </message>
</context>
<context>
    <name>kelmar::ModelsIni</name>
    <message>
        <source>須為 功能:暫存器:型別[:順序] (must be FUNCTION:REGISTER:TYPE[:ORDER])</source>
        <translation>must be FUNCTION:REGISTER:TYPE[:ORDER]</translation>
    </message>
    <message>
        <source>功能須為 3 或 4 (the function must be 3 or 4)</source>
        <translation>the function must be 3 or 4</translation>
    </message>
    <message>
        <source>型別不明 (unknown type; int16 uint16 int32 uint32 int64 uint64 float32 float64)</source>
        <translation>unknown type; int16 uint16 int32 uint32 int64 uint64 float32 float64</translation>
    </message>
    <message>
        <source>順序不明 (unknown order; ABCD CDAB BADC DCBA)</source>
        <translation>unknown order; ABCD CDAB BADC DCBA</translation>
    </message>
    <message>
        <source>暫存器須為 0 到 65535 (the register must be 0 to 65535, decimal or 0x hexadecimal)</source>
        <translation>the register must be 0 to 65535, decimal or 0x hexadecimal</translation>
    </message>
    <message>
        <source>%1 第 %2 行 (line %2): %3</source>
        <translation>%1 line %2: %3</translation>
    </message>
    <message>
        <source>型號「%1」不採用：需 panel 與 value1，panel=B 另需 value2 (model &quot;%1&quot; is not offered: it needs panel and value1, and panel=B value2 as well)</source>
        <translation>model &quot;%1&quot; is not offered: it needs panel and value1, and panel=B value2 as well</translation>
    </message>
    <message>
        <source>型號名稱空白或含控制字元 (the model name is empty or holds a control character)</source>
        <translation>the model name is empty or holds a control character</translation>
    </message>
    <message>
        <source>型號「%1」重複，後者不採用 (model &quot;%1&quot; is given twice; the later one is not offered)</source>
        <translation>model &quot;%1&quot; is given twice; the later one is not offered</translation>
    </message>
    <message>
        <source>不是 [型號] 或 鍵=值 (neither [model] nor key=value)</source>
        <translation>neither [model] nor key=value</translation>
    </message>
    <message>
        <source>鍵不在任何 [型號] 之下 (a key outside any [model] section)</source>
        <translation>a key outside any [model] section</translation>
    </message>
    <message>
        <source>鍵 %1 重複 (key %1 is given twice)</source>
        <translation>key %1 is given twice</translation>
    </message>
    <message>
        <source>panel 須為 A 或 B (panel must be A or B)</source>
        <translation>panel must be A or B</translation>
    </message>
    <message>
        <source>%1 須為 0 到 4 (%1 must be 0 to 4)</source>
        <translation>%1 must be 0 to 4</translation>
    </message>
    <message>
        <source>%1 含控制字元 (%1 holds a control character)</source>
        <translation>%1 holds a control character</translation>
    </message>
    <message>
        <source>未知的鍵 %1 (unknown key %1)</source>
        <translation>unknown key %1</translation>
    </message>
    <message>
        <source>型號「%1」不採用 (model &quot;%1&quot; is not offered): %2</source>
        <translation>model &quot;%1&quot; is not offered: %2</translation>
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
    <name>kelmar::RecordFile</name>
    <message>
        <source>權限不足 (not allowed)</source>
        <translation>not allowed</translation>
    </message>
    <message>
        <source>上層資料夾不存在 (its parent is missing)</source>
        <translation>its parent is missing</translation>
    </message>
    <message>
        <source>無法建立記錄資料夾 (cannot create record folder) %1: %2</source>
        <translation>Cannot create the record folder %1: %2</translation>
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
    <name>kelmar::RecordWriter</name>
    <message>
        <source>記錄已結束 (recording has ended)</source>
        <translation>recording has ended</translation>
    </message>
    <message>
        <source>磁碟未及寫入，已有 %1 行等待 (the disk is not keeping up: %1 lines are waiting)</source>
        <translation>the disk is not keeping up: %1 lines are waiting</translation>
    </message>
</context>
<context>
    <name>kelmar::SafeFile</name>
    <message>
        <source>是符號連結 (a symbolic link)</source>
        <translation>a symbolic link</translation>
    </message>
    <message>
        <source>不是一般檔案 (not a regular file)</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>磁碟已滿 (disk full)</source>
        <translation>disk full</translation>
    </message>
    <message>
        <source>無法寫入 (cannot write) %1: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>無法取代 (cannot replace): %1</source>
        <translation>cannot replace: %1</translation>
    </message>
    <message>
        <source>已取代但未確定寫入磁碟 (replaced, but not confirmed on the disk): %1</source>
        <translation>replaced, but not confirmed on the disk: %1</translation>
    </message>
    <message>
        <source>無法開啟 (cannot open)</source>
        <translation>cannot open</translation>
    </message>
</context>
<context>
    <name>kelmar::Service</name>
    <message>
        <source>%1 連線 (open)</source>
        <translation>%1: line open</translation>
    </message>
    <message>
        <source>%1 連線中 (opening)</source>
        <translation>%1: opening the line</translation>
    </message>
    <message>
        <source>%1 連線中斷 (lost)</source>
        <translation>%1: line lost</translation>
    </message>
    <message>
        <source>%1 未連線 (closed)</source>
        <translation>%1: line closed</translation>
    </message>
    <message>
        <source>記錄檔 (record file) %1</source>
        <translation>Record file %1</translation>
    </message>
    <message>
        <source>開始 (started) %1</source>
        <translation>Started %1</translation>
    </message>
    <message>
        <source>重新讀取設定 (reading meters.ini and publish.ini again)</source>
        <translation>Reading meters.ini and publish.ini again</translation>
    </message>
    <message>
        <source>結束 (ended)</source>
        <translation>Ended</translation>
    </message>
</context>
<context>
    <name>kelmar::Session</name>
    <message>
        <source>無回應</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>例外 %1</source>
        <translation>Exc. %1</translation>
    </message>
    <message>
        <source>數值無效</source>
        <translation>Invalid</translation>
    </message>
    <message>
        <source>通訊錯誤</source>
        <translation>Bad reply</translation>
    </message>
    <message>
        <source>setup.ini 第 6 行 &quot;%1&quot; 不是 0 到 65535 的毫秒數，輪詢間隔用 %2 ms (line 6 is not a polling interval from 0 to 65535 ms: %2 ms is used)</source>
        <translation>setup.ini line 6 &quot;%1&quot; is not a polling interval from 0 to 65535 ms: %2 ms is used</translation>
    </message>
    <message>
        <source>輪詢間隔為 0，不會讀取儀表 (the polling interval is 0: no meter is read)</source>
        <translation>The polling interval is 0: no meter is read</translation>
    </message>
    <message>
        <source>%1 連線中斷，自動重新連線中 (line lost, reconnecting)</source>
        <translation>%1: line lost, reconnecting</translation>
    </message>
    <message>
        <source>記錄秒 &quot;%1&quot; 不是 1 以上的整數，不會寫入記錄 (the record interval is not a whole number of seconds from 1 up: nothing is recorded)</source>
        <translation>The record interval &quot;%1&quot; is not a whole number of seconds from 1 up: nothing is recorded</translation>
    </message>
    <message>
        <source>記錄已停止 (recording stopped)</source>
        <translation>Recording stopped</translation>
    </message>
</context>
<context>
    <name>kelmar::SetupIni</name>
    <message>
        <source>%1 第 %2 行 &quot;%3&quot; 不採用 (line %2 is not used): %4</source>
        <translation>%1 line %2 &quot;%3&quot; is not used: %4</translation>
    </message>
    <message>
        <source>含控制字元 (holds a control character)</source>
        <translation>holds a control character</translation>
    </message>
    <message>
        <source>不是埠號 (not a port number)</source>
        <translation>not a port number</translation>
    </message>
    <message>
        <source>不是鮑率 (not a baud rate)</source>
        <translation>not a baud rate</translation>
    </message>
    <message>
        <source>不是通訊格式 (not a framing)</source>
        <translation>not a framing</translation>
    </message>
    <message>
        <source>不是 800X600 或 1024X768 (not 800X600 or 1024X768)</source>
        <translation>not 800X600 or 1024X768</translation>
    </message>
    <message>
        <source>%1 不採用，使用預設值 (is not used: the defaults apply): %2</source>
        <translation>%1 is not used, the defaults apply: %2</translation>
    </message>
    <message>
        <source>不是一般檔案 (not a regular file)</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>檔案太大 (too large)</source>
        <translation>too large</translation>
    </message>
    <message>
        <source>無法讀取 (cannot be read)</source>
        <translation>cannot be read</translation>
    </message>
    <message>
        <source>行尾不是 CR LF (lines do not end in CR LF)</source>
        <translation>lines do not end in CR LF</translation>
    </message>
</context>
<context>
    <name>kelmar::ShippedTitle</name>
    <message>
        <source>Kelmar_T 儀表監視</source>
        <translation>Kelmar_T Meter Monitor</translation>
    </message>
</context>
<context>
    <name>kelmar::SlotSetup</name>
    <message>
        <source>%1 無法讀取 (%1 cannot be read)</source>
        <translation>%1 cannot be read</translation>
    </message>
    <message>
        <source>%1 的型號「%2」已在 %3，依 %3 (model &quot;%2&quot; of %1 is in %3 already; %3&apos;s is used)</source>
        <translation>Model &quot;%2&quot; of %1 is in %3 already; %3&apos;s is used</translation>
    </message>
    <message>
        <source>%1 保持原狀，變更儀表設定後才另存並重寫 (%1 is left as it is until a slot is changed; it is then kept under another name)</source>
        <translation>%1 is left as it is until a slot is changed; it is then kept under another name</translation>
    </message>
    <message>
        <source>無法讀取的 %1 已保留為 %2 (the unreadable %1 is kept as %2)</source>
        <translation>The unreadable %1 is kept as %2</translation>
    </message>
    <message>
        <source>無法讀取的舊檔無法另存為 %1，未覆寫 (the unreadable old file could not be kept as %1, not written over)</source>
        <translation>The unreadable old file could not be kept as %1, not written over</translation>
    </message>
    <message>
        <source>型號已不在 meter.txt，已關閉：%1 (model no longer in meter.txt, switched off: %2)</source>
        <translation>Model no longer in meter.txt, switched off: %2</translation>
    </message>
</context>
<context>
    <name>kelmar::Station</name>
    <message>
        <source>COM%1 是網路埠 %2，不使用鮑率與通訊協定 (COM%1 is a network port: baud rate and framing are not used)</source>
        <translation>COM%1 is a network port (%2): baud rate and framing are not used</translation>
    </message>
</context>
<context>
    <name>kelmar::Transport</name>
    <message>
        <source>%1 網路埠不在此版本中 (%1: network ports are not in this build)</source>
        <translation>%1: network ports are not in this build</translation>
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
