<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>SerialportSettingDialog</name>
    <message>
        <source>device, tcp://HOST[:PORT] or rtu+tcp://HOST:PORT</source>
        <translation>设备，tcp://主机[:端口] 或 rtu+tcp://主机:端口</translation>
    </message>
    <message>
        <source>A listed serial port, or a serial server&apos;s address: tcp://HOST[:PORT] (Modbus TCP, port 502 by default) or rtu+tcp://HOST:PORT (RTU over TCP)</source>
        <translation>列表中的串口，或串口服务器的地址：tcp://主机[:端口]（Modbus TCP，默认端口 502）或 rtu+tcp://主机:端口（RTU over TCP）</translation>
    </message>
    <message>
        <source>This port cannot be used: %1</source>
        <translation>无法使用此端口：%1</translation>
    </message>
    <message>
        <source>Dialog</source>
        <translation>对话框</translation>
    </message>
    <message>
        <source>Serialport Settings</source>
        <translation>串口设置</translation>
    </message>
    <message>
        <source>Port Name:</source>
        <translation>端口名称：</translation>
    </message>
    <message>
        <source>Baud Rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Data Bits:</source>
        <translation>数据位：</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>校验位：</translation>
    </message>
    <message>
        <source>Stop Bits:</source>
        <translation>停止位：</translation>
    </message>
    <message>
        <source>AUTO</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>8</source>
        <translation>8</translation>
    </message>
    <message>
        <source>NO</source>
        <translation>无</translation>
    </message>
    <message>
        <source>ODD</source>
        <translation>奇校验</translation>
    </message>
    <message>
        <source>EVEN</source>
        <translation>偶校验</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Serial port</source>
        <translation>串口</translation>
    </message>
    <message>
        <source>(no permission)</source>
        <translation>（无权限）</translation>
    </message>
    <message>
        <source>No permission: the device belongs to the group %1; run %2, then log out and log in again.</source>
        <translation>没有权限：该设备属于用户组%1；请运行 %2，然后注销并重新登录。</translation>
    </message>
</context>
<context>
    <name>TrendWindow</name>
    <message>
        <source>Temperature: %1</source>
        <translation>温度：%1</translation>
    </message>
    <message>
        <source>Humidity: %1</source>
        <translation>湿度：%1</translation>
    </message>
    <message>
        <source>Dew point: %1</source>
        <translation>露点：%1</translation>
    </message>
    <message>
        <source>Trend</source>
        <translation>趋势</translation>
    </message>
    <message>
        <source>%1, address %2</source>
        <translation>%1，地址 %2</translation>
    </message>
    <message>
        <source>%1, serial number %2, address %3</source>
        <translation>%1，序列号 %2，地址 %3</translation>
    </message>
    <message>
        <source>%1 to %2, local time</source>
        <translation>%1 至 %2，本地时间</translation>
    </message>
    <message>
        <source>Temperature, dew point (%1)</source>
        <translation>温度、露点（%1）</translation>
    </message>
    <message>
        <source>Relative humidity (%1)</source>
        <translation>相对湿度（%1）</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>湿度</translation>
    </message>
    <message>
        <source>Dew point</source>
        <translation>露点</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>跟随</translation>
    </message>
    <message>
        <source>Keep the newest reading in view</source>
        <translation>保持最新读数在视图中</translation>
    </message>
    <message>
        <source>1 min</source>
        <translation>1 分钟</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 分钟</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 小时</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 小时</translation>
    </message>
    <message>
        <source>All</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>Export CSV</source>
        <translation>导出 CSV</translation>
    </message>
    <message>
        <source>Export PNG</source>
        <translation>导出 PNG</translation>
    </message>
    <message>
        <source>Trend - %1 address %2</source>
        <translation>趋势 - %1 地址 %2</translation>
    </message>
    <message>
        <source>Heater on</source>
        <translation>加热开</translation>
    </message>
    <message>
        <source>Heater off</source>
        <translation>加热关</translation>
    </message>
    <message>
        <source>Link opened</source>
        <translation>连接已打开</translation>
    </message>
    <message>
        <source>Link lost</source>
        <translation>连接已断开</translation>
    </message>
    <message>
        <source>cannot create the folder %1</source>
        <translation>无法创建文件夹%1</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>The trend cannot be written to %1: %2</source>
        <translation>趋势无法写入%1：%2</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG 图像 (*.png)</translation>
    </message>
</context>
<context>
    <name>Widget</name>
    <message>
        <source>%1 is a serial server: the search cannot change its line rate, so the device is asked once, at the rate the server is set to.</source>
        <translation>%1 是串口服务器：搜索无法改变其线路波特率，因此只按服务器设定的波特率询问设备一次。</translation>
    </message>
    <message>
        <source>No device answered on %1 at the serial server&apos;s rate; check the server&apos;s configuration (its rate and framing), the wiring and the power.</source>
        <translation>%1 上没有设备以串口服务器的波特率应答；请检查服务器的配置（波特率和帧格式）、接线和电源。</translation>
    </message>
    <message>
        <source>The device was told to use %1 baud; %2 is a serial server, whose line rate stays as set in its own configuration: change the server&apos;s rate to %1 to reach the device again.</source>
        <translation>已通知设备使用 %1 波特率；%2 是串口服务器，其线路波特率保持其自身配置中的设定：请将服务器的波特率改为 %1 才能再次连接设备。</translation>
    </message>
    <message>
        <source>Widget</source>
        <translation>主窗口</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>型号：</translation>
    </message>
    <message>
        <source>Versions:</source>
        <translation>版本：</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>序列号：</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>关</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>开</translation>
    </message>
    <message>
        <source>Temperature Out Range(℃):</source>
        <translation>温度输出量程(℃)：</translation>
    </message>
    <message>
        <source>Temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>Humidity</source>
        <translation>湿度</translation>
    </message>
    <message>
        <source>TDEW</source>
        <translation>露点温度</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>读取</translation>
    </message>
    <message>
        <source>1200</source>
        <translation>1200</translation>
    </message>
    <message>
        <source>2400</source>
        <translation>2400</translation>
    </message>
    <message>
        <source>4800</source>
        <translation>4800</translation>
    </message>
    <message>
        <source>9600</source>
        <translation>9600</translation>
    </message>
    <message>
        <source>19200</source>
        <translation>19200</translation>
    </message>
    <message>
        <source>115200</source>
        <translation>115200</translation>
    </message>
    <message>
        <source>MANU Setup</source>
        <translation>手动设置</translation>
    </message>
    <message>
        <source>Channel:</source>
        <translation>通道：</translation>
    </message>
    <message>
        <source>Baud rate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>地址：</translation>
    </message>
    <message>
        <source>AUTO Setup</source>
        <translation>自动设置</translation>
    </message>
    <message>
        <source>Heater:</source>
        <translation>加热：</translation>
    </message>
    <message>
        <source>Device time:</source>
        <translation>设备时间：</translation>
    </message>
    <message>
        <source>Using system time</source>
        <translation>使用系统时间</translation>
    </message>
    <message>
        <source>Auto heater start time:</source>
        <translation>自动加热开始时间：</translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation>间隔：</translation>
    </message>
    <message>
        <source>Heater time:</source>
        <translation>加热时长：</translation>
    </message>
    <message>
        <source>Real time data</source>
        <translation>实时数据</translation>
    </message>
    <message>
        <source>Temperature:</source>
        <translation>温度：</translation>
    </message>
    <message>
        <source>Humidity:</source>
        <translation>湿度：</translation>
    </message>
    <message>
        <source>DewTemp:</source>
        <translation>露点：</translation>
    </message>
    <message>
        <source>WetBulbTemp:</source>
        <translation>湿球温度：</translation>
    </message>
    <message>
        <source>Magnification:</source>
        <translation>倍率：</translation>
    </message>
    <message>
        <source>*10</source>
        <translation>*10</translation>
    </message>
    <message>
        <source>*100</source>
        <translation>*100</translation>
    </message>
    <message>
        <source>ALL</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>DewTemp</source>
        <translation>露点</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>消息</translation>
    </message>
    <message>
        <source>Link</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>H</source>
        <translation>小时</translation>
    </message>
    <message>
        <source>S</source>
        <translation>秒</translation>
    </message>
    <message>
        <source>Application start!</source>
        <translation>程序启动！</translation>
    </message>
    <message>
        <source>Application close!</source>
        <translation>程序关闭！</translation>
    </message>
    <message>
        <source>%1 log line(s) lost: the log file could not be written</source>
        <translation>丢失%1行日志：日志文件无法写入</translation>
    </message>
    <message>
        <source>The log file cannot be written: %1</source>
        <translation>日志文件无法写入：%1</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>The device baud rate is:</source>
        <translation>设备波特率为：</translation>
    </message>
    <message>
        <source>Communication error!</source>
        <translation>通信错误！</translation>
    </message>
    <message>
        <source>USB device error, please reconnect USB device!</source>
        <translation>USB设备错误，请重新连接USB设备！</translation>
    </message>
    <message>
        <source>The address is empty!</source>
        <translation>地址为空！</translation>
    </message>
    <message>
        <source>The address is between 1 and 247!</source>
        <translation>地址范围为1到247！</translation>
    </message>
    <message>
        <source>The serial number is a fixed 12 characters!</source>
        <translation>序列号固定为12个字符！</translation>
    </message>
    <message>
        <source>Data is empty!</source>
        <translation>数据为空！</translation>
    </message>
    <message>
        <source>Data is out of range!</source>
        <translation>数据超出范围！</translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation>固件版本：</translation>
    </message>
    <message>
        <source>Temperature:---</source>
        <translation>温度：---</translation>
    </message>
    <message>
        <source>Humidity:---</source>
        <translation>湿度：---</translation>
    </message>
    <message>
        <source>DewTemp:---</source>
        <translation>露点：---</translation>
    </message>
    <message>
        <source>mA</source>
        <translation>mA</translation>
    </message>
    <message>
        <source>V</source>
        <translation>V</translation>
    </message>
    <message>
        <source>Please choose the output data from the list!</source>
        <translation>请从列表中选择输出数据！</translation>
    </message>
    <message>
        <source>Please choose a baud rate from the list!</source>
        <translation>请从列表中选择波特率！</translation>
    </message>
    <message>
        <source>Please choose a heating interval and a heating time from the list!</source>
        <translation>请从列表中选择加热间隔和加热时间！</translation>
    </message>
    <message>
        <source>The device time has not been read, please enter a time!</source>
        <translation>设备时间未读取，请输入时间！</translation>
    </message>
    <message>
        <source>The device reports an output data code that is not in the list: %1</source>
        <translation>设备报告的输出数据代码不在列表中：%1</translation>
    </message>
    <message>
        <source>The device reports a baud rate code that is not in the list: %1</source>
        <translation>设备报告的波特率代码不在列表中：%1</translation>
    </message>
    <message>
        <source>The device reports a heating interval that is not in the list: %1</source>
        <translation>设备报告的加热间隔不在列表中：%1</translation>
    </message>
    <message>
        <source>The device reports a heating time that is not in the list: %1</source>
        <translation>设备报告的加热时间不在列表中：%1</translation>
    </message>
    <message>
        <source>The device clock holds an impossible date: %1</source>
        <translation>设备时钟的日期无效：%1</translation>
    </message>
    <message>
        <source>Settings cannot be saved to %1: %2</source>
        <translation>设置无法保存到%1：%2</translation>
    </message>
    <message>
        <source>Not read</source>
        <translation>未读取</translation>
    </message>
    <message>
        <source>Live readings resumed after %1 missed poll(s)</source>
        <translation>实时数据已恢复，期间漏读 %1 次</translation>
    </message>
    <message>
        <source>Live readings stopped: no reply for %1</source>
        <translation>实时数据已中断：%1 未收到应答</translation>
    </message>
    <message>
        <source> (%1 s old)</source>
        <translation>（%1 秒前）</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: %2</source>
        <translation>串口%1无法打开：%2</translation>
    </message>
    <message>
        <source>Serial port %1 closed: %2; waiting for it to come back</source>
        <translation>串口 %1 已关闭：%2；等待其重新连接</translation>
    </message>
    <message>
        <source>Serial port %1 is back after %2: polling resumed</source>
        <translation>串口 %1 在 %2 后恢复：继续读取</translation>
    </message>
    <message>
        <source>Serial port %1 is back after %2</source>
        <translation>串口 %1 在 %2 后恢复</translation>
    </message>
    <message>
        <source>%1, serial number %2</source>
        <translation>%1，序列号 %2</translation>
    </message>
    <message>
        <source>Serial port %1 is back after %2 with another unit (%3): not linked, press Link</source>
        <translation>串口 %1 在 %2 后恢复，但连接的是另一台设备（%3）：未连接，请点击连接</translation>
    </message>
    <message>
        <source>Connection to %1 closed: %2; waiting for it to come back</source>
        <translation>与 %1 的连接已断开：%2；等待其恢复</translation>
    </message>
    <message>
        <source>Connection to %1 is back after %2: polling resumed</source>
        <translation>与 %1 的连接在 %2 后恢复：继续读取</translation>
    </message>
    <message>
        <source>Connection to %1 is back after %2</source>
        <translation>与 %1 的连接在 %2 后恢复</translation>
    </message>
    <message>
        <source>Connection to %1 is back after %2 with another unit (%3): not linked, press Link</source>
        <translation>与 %1 的连接在 %2 后恢复，但连接的是另一台设备（%3）：未连接，请点击连接</translation>
    </message>
    <message>
        <source>The device reports a heating start time past 23:59 (%1 minutes): shown as 23:59</source>
        <translation>设备报告的加热开始时间超过 23:59（%1 分钟）：显示为 23:59</translation>
    </message>
    <message>
        <source>Discarded: %1</source>
        <translation>已丢弃：%1</translation>
    </message>
    <message>
        <source>ZR100</source>
        <translation>ZR100</translation>
    </message>
    <message>
        <source>ZR200</source>
        <translation>ZR200</translation>
    </message>
    <message>
        <source>ZR300</source>
        <translation>ZR300</translation>
    </message>
    <message>
        <source>ZR200Pro</source>
        <translation>ZR200Pro</translation>
    </message>
    <message>
        <source>ZR200Mini_S</source>
        <translation>ZR200Mini_S</translation>
    </message>
    <message>
        <source>ZR200Mini_M</source>
        <translation>ZR200Mini_M</translation>
    </message>
    <message>
        <source>Trend</source>
        <translation>趋势</translation>
    </message>
    <message>
        <source>The readings file cannot be written: %1</source>
        <translation>数据文件无法写入：%1</translation>
    </message>
    <message>
        <source>No serial port was chosen.</source>
        <translation>未选择串口。</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: no permission. The device belongs to the group %2; run %3, then log out and log in again.</source>
        <translation>串口%1无法打开：没有权限。该设备属于用户组%2；请运行 %3，然后注销并重新登录。</translation>
    </message>
    <message>
        <source>Serial port %1 is busy: another program has it open.</source>
        <translation>串口%1正忙：另一个程序已将其打开。</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: no such device.</source>
        <translation>串口%1无法打开：设备不存在。</translation>
    </message>
    <message>
        <source>The readings file cannot be written: %1: %2</source>
        <translation>数据文件无法写入：%1：%2</translation>
    </message>
    <message>
        <source>The readings file is written again: %1 row(s) before this one are not in it</source>
        <translation>数据文件已恢复写入：此行之前有%1行未写入</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: no permission.</source>
        <translation>串口%1无法打开：没有权限。</translation>
    </message>
    <message>
        <source>Searching %1 at %2...</source>
        <translation>正在以 %2 波特率搜索 %1...</translation>
    </message>
    <message>
        <source>Searching %1 again at every rate (pass %2 of %3)...</source>
        <translation>正在以所有波特率重新搜索 %1（第 %2 轮，共 %3 轮）...</translation>
    </message>
    <message>
        <source>No device answered on %1 at %2 baud (%3 passes); check the wiring and the power.</source>
        <translation>%1 上在波特率 %2 下均无设备应答（共 %3 轮）；请检查接线和电源。</translation>
    </message>
    <message>
        <source>The device answers at %1 baud: serial port %2 now runs at that rate</source>
        <translation>设备以 %1 波特率应答：串口 %2 已切换到该波特率</translation>
    </message>
    <message>
        <source>The device did not answer at %1 baud within %2 s: serial port %3 is back at %4 baud. If it does not answer there either, press Link and choose AUTO to search for its rate.</source>
        <translation>设备在 %2 秒内未以 %1 波特率应答：串口 %3 已恢复为 %4 波特率。如果设备仍无应答，请点击连接并选择自动以搜索其波特率。</translation>
    </message>
    <message>
        <source>No device is linked, please press Link first!</source>
        <translation>未连接设备，请先点击连接！</translation>
    </message>
    <message>
        <source>Serial port %1 cannot be opened: its lock file %2 was left by process %3, which is no longer running; run %4 to remove it.</source>
        <translation>串口%1无法打开：其锁文件%2由已不再运行的进程%3遗留；请运行 %4 将其删除。</translation>
    </message>
    <message>
        <source>the device was removed</source>
        <translation>设备已被移除</translation>
    </message>
    <message>
        <source>the adapter stopped working (unplugged, or its driver failed)</source>
        <translation>适配器停止工作（已拔出，或其驱动出错）</translation>
    </message>
    <message>
        <source>the line failed: nothing more can be read from it</source>
        <translation>线路故障：无法再读取数据</translation>
    </message>
    <message>
        <source>the line failed: nothing more can be written to it</source>
        <translation>线路故障：无法再写入数据</translation>
    </message>
    <message>
        <source>the access to the device was taken away</source>
        <translation>对设备的访问权限已被撤销</translation>
    </message>
    <message>
        <source>the line failed</source>
        <translation>线路故障</translation>
    </message>
</context>
</TS>
