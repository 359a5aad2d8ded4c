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
</TS>
