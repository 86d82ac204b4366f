<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Lorvanel</name>
    <message>
        <source>Lorvanel</source>
        <translation>Lorvanel</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>设置…</translation>
    </message>
    <message>
        <source>Transfer settings</source>
        <translation>传输设置</translation>
    </message>
    <message>
        <source>Select an iPod in the sidebar.</source>
        <translation>在边栏中选择一台 iPod。</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>iPod touch</source>
        <translation>iPod touch</translation>
    </message>
    <message>
        <source>iPad Air</source>
        <translation>iPad Air</translation>
    </message>
    <message>
        <source>1st generation</source>
        <translation>第 1 代</translation>
    </message>
    <message>
        <source>2nd generation</source>
        <translation>第 2 代</translation>
    </message>
    <message>
        <source>3rd generation</source>
        <translation>第 3 代</translation>
    </message>
    <message>
        <source>4th generation</source>
        <translation>第 4 代</translation>
    </message>
    <message>
        <source>5th generation</source>
        <translation>第 5 代</translation>
    </message>
    <message>
        <source>6th generation</source>
        <translation>第 6 代</translation>
    </message>
    <message>
        <source>7th generation</source>
        <translation>第 7 代</translation>
    </message>
    <message>
        <source>The iPod was disconnected.</source>
        <translation>iPod 已断开连接。</translation>
    </message>
    <message>
        <source>White</source>
        <translation>白色</translation>
    </message>
    <message>
        <source>Silver</source>
        <translation>银色</translation>
    </message>
    <message>
        <source>Dark Gray</source>
        <translation>深灰色</translation>
    </message>
    <message>
        <source>Black</source>
        <translation>黑色</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>蓝色</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>绿色</translation>
    </message>
    <message>
        <source>Orange</source>
        <translation>橙色</translation>
    </message>
    <message>
        <source>Yellow</source>
        <translation>黄色</translation>
    </message>
    <message>
        <source>Pink</source>
        <translation>粉色</translation>
    </message>
    <message>
        <source>Purple</source>
        <translation>紫色</translation>
    </message>
    <message>
        <source>Red</source>
        <translation>红色</translation>
    </message>
    <message>
        <source>About 241,000 units sold by June 2002</source>
        <translation>截至 2002 年 6 月售出约 24.1 万台</translation>
    </message>
    <message>
        <source>About 10 million units sold</source>
        <translation>售出约 1000 万台</translation>
    </message>
    <message>
        <source>Nov 2001</source>
        <translation>2001 年 11 月</translation>
    </message>
    <message>
        <source>Jan 2005</source>
        <translation>2005 年 1 月</translation>
    </message>
    <message>
        <source>Sep 2005</source>
        <translation>2005 年 9 月</translation>
    </message>
    <message>
        <source>2007–2014 classic models: estimated sales of 50–60M</source>
        <translation>2007–2014 年 classic 机型：估计销量 5000–6000 万台</translation>
    </message>
    <message>
        <source>Estimated sales: 28–34M</source>
        <translation>估计销量：2800–3400 万台</translation>
    </message>
    <message>
        <source>Over 100M units known sold</source>
        <translation>已知销量超过 1 亿台</translation>
    </message>
</context>
</TS>
