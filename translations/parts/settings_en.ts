<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_TW">
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
</TS>
