<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AboutWindow</name>
    <message>
        <source>Vindel のﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Vindel</translation>
    </message>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ %1.%2.%3</source>
        <translation>Version %1.%2.%3</translation>
    </message>
    <message>
        <source>このソフトウェアはメールウェアです。</source>
        <translation>This software is mailware.</translation>
    </message>
    <message>
        <source>無料でご利用になれますが、使用する</source>
        <translation>It is free to use, but if you use it,</translation>
    </message>
    <message>
        <source>際には以下の宛先にメールしてください。</source>
        <translation>please send a mail to the address below.</translation>
    </message>
    <message>
        <source>「使ってま～す！」の一言でも結構です。</source>
        <translation>Just &quot;I'm using it!&quot; is fine.</translation>
    </message>
    <message>
        <source>バージョンアップの際にご連絡します。</source>
        <translation>You will hear of new versions.</translation>
    </message>
</context>
<context>
    <name>ConfigDialog</name>
    <message>
        <source>ﾕｰｻﾞ名を入力してください。</source>
        <translation>Please enter a user name.</translation>
    </message>
    <message>
        <source>ﾕｰｻﾞ名に使えない文字（改行など）が含まれています。</source>
        <translation>The user name holds a character that cannot be used (a line break or the like).</translation>
    </message>
    <message>
        <source>ﾊﾟｽﾜｰﾄﾞに使えない文字（改行など）が含まれています。</source>
        <translation>The password holds a character that cannot be used (a line break or the like).</translation>
    </message>
    <message>
        <source>Interval は10分（ﾃﾞﾌｫﾙﾄ値）に設定されました。</source>
        <translation>The interval has been set to 10 minutes (the default).</translation>
    </message>
    <message>
        <source>実行ﾌｧｲﾙ (*.exe)</source>
        <translation>Programs (*.exe)</translation>
    </message>
    <message>
        <source>すべてのﾌｧｲﾙ (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>WAVEﾌｧｲﾙ (*.wav)</source>
        <translation>WAVE files (*.wav)</translation>
    </message>
    <message>
        <source>ﾕｰｻﾞ名</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>ﾊﾟｽﾜｰﾄﾞ</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>POP3 ｻｰﾊﾞ</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>ﾁｪｯｸ間隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>分</source>
        <translation>min</translation>
    </message>
    <message>
        <source>ﾒｰﾗのﾊﾟｽ</source>
        <translation>Mailer</translation>
    </message>
    <message>
        <source>ｻｳﾝﾄﾞ設定</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>Vindelからﾒｰﾗを起動した際に，ﾒｰﾙ数を初期化する．</source>
        <translation>Reset the mail count when launching the mailer</translation>
    </message>
    <message>
        <source>ｷｬﾝｾﾙ</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Vindel の設定</source>
        <translation>Vindel Settings</translation>
    </message>
</context>
<context>
    <name>MainMenu</name>
    <message>
        <source>ﾒｰﾙﾁｪｯｸ！</source>
        <translation>Check mail!</translation>
    </message>
    <message>
        <source>ﾒｰﾗｰの起動</source>
        <translation>Launch mailer</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>常に手前に表示</source>
        <translation>Always on top</translation>
    </message>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>非表示</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>Show</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>ﾒｰﾗのﾊﾟｽを確認してください。</source>
        <translation>Please check the mailer path.</translation>
    </message>
    <message>
        <source>ﾌﾟﾛｸﾞﾗﾑを再度起動してください。</source>
        <translation>Please start the program again.</translation>
    </message>
</context>
</TS>
