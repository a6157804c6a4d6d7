<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name>CommandLineShareRequest</name>
    <message>
        <source>left out the link %1: a share holds one link, the last one given</source>
        <translation>تُرك الرابط %1: تحمل المشاركة رابطًا واحدًا، هو آخر رابط مُعطى</translation>
    </message>
    <message>
        <source>left out the text from standard input: a share holds one text, the first one given</source>
        <translation>تُرك النص الوارد من الإدخال القياسي: تحمل المشاركة نصًا واحدًا، هو أول نص مُعطى</translation>
    </message>
    <message>
        <source>left out the text %1: a share holds one text, the first one given</source>
        <translation>تُرك النص %1: تحمل المشاركة نصًا واحدًا، هو أول نص مُعطى</translation>
    </message>
</context>
<context>
    <name>DisplayProbe</name>
    <message>
        <source>Qt has no platform plugin &quot;%1&quot;</source>
        <translation>لا يملك Qt ملحق المنصة «%1»</translation>
    </message>
    <message>
        <source>DISPLAY names no X server that answers</source>
        <translation>لا يشير DISPLAY إلى خادم X يستجيب</translation>
    </message>
    <message>
        <source>WAYLAND_DISPLAY names no compositor that answers</source>
        <translation>لا يشير WAYLAND_DISPLAY إلى مُركِّب يستجيب</translation>
    </message>
    <message>
        <source>QT_QPA_PLATFORM names no platform</source>
        <translation>لا يسمّي QT_QPA_PLATFORM أي منصة</translation>
    </message>
    <message>
        <source>; </source>
        <extracomment>Between the reasons why no display could be reached</extracomment>
        <translation>؛ </translation>
    </message>
    <message>
        <source>no display to show the sheet on: %1</source>
        <translation>لا توجد شاشة لعرض النافذة عليها: %1</translation>
    </message>
</context>
<context>
    <name>EnqueueFailure</name>
    <message>
        <source>the disk is full</source>
        <translation>القرص ممتلئ</translation>
    </message>
    <message>
        <source>the disk quota is used up</source>
        <translation>نفدت حصة القرص</translation>
    </message>
    <message>
        <source>permission was denied</source>
        <translation>رُفض الإذن</translation>
    </message>
    <message>
        <source>the disk is read-only</source>
        <translation>القرص للقراءة فقط</translation>
    </message>
    <message>
        <source>it no longer exists</source>
        <translation>لم يعد موجودًا</translation>
    </message>
    <message>
        <source>the disk reported a read or write error</source>
        <translation>أبلغ القرص عن خطأ في القراءة أو الكتابة</translation>
    </message>
    <message>
        <source>it is neither a file nor a folder</source>
        <translation>ليس ملفًا ولا مجلدًا</translation>
    </message>
    <message>
        <source>an item with that name is in the way</source>
        <translation>يعترضه عنصر بالاسم نفسه</translation>
    </message>
    <message>
        <source>its name or path is too long</source>
        <translation>اسمه أو مساره طويل جدًا</translation>
    </message>
    <message>
        <source>it is a link that leads nowhere</source>
        <translation>إنه رابط لا يؤدي إلى أي مكان</translation>
    </message>
    <message>
        <source>a folder on its path is a file</source>
        <translation>أحد المجلدات في مساره ملف</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>إنه مجلد</translation>
    </message>
    <message>
        <source>it is too large</source>
        <translation>حجمه كبير جدًا</translation>
    </message>
    <message>
        <source>too many files are open</source>
        <translation>الملفات المفتوحة كثيرة جدًا</translation>
    </message>
    <message>
        <source>the computer is out of memory</source>
        <translation>نفدت ذاكرة الحاسوب</translation>
    </message>
    <message>
        <source>it is in use</source>
        <translation>إنه قيد الاستخدام</translation>
    </message>
    <message>
        <source>the text or the link is not valid Unicode</source>
        <translation>النص أو الرابط ليس بترميز يونيكود صالح</translation>
    </message>
    <message>
        <source>the text is too long</source>
        <translation>النص طويل جدًا</translation>
    </message>
    <message>
        <source>it holds too many files</source>
        <translation>تحتوي على ملفات كثيرة جدًا</translation>
    </message>
    <message>
        <source>the disk does not accept it</source>
        <translation>القرص لا يقبله</translation>
    </message>
    <message>
        <source>something unexpected went wrong</source>
        <translation>حدث خطأ غير متوقع</translation>
    </message>
    <message>
        <source>Could not save the share: %1.</source>
        <translation>تعذّر حفظ المشاركة: %1.</translation>
    </message>
    <message>
        <source>Could not copy “%1”: tovin&apos;s shared folder cannot be shared into itself.</source>
        <translation>تعذّر نسخ «⁨%1⁩»: لا يمكن مشاركة مجلد tovin المشترك داخل نفسه.</translation>
    </message>
    <message>
        <source>Could not save the share in tovin&apos;s shared folder: %1.</source>
        <translation>تعذّر حفظ المشاركة في مجلد tovin المشترك: %1.</translation>
    </message>
    <message>
        <source>Could not copy “%1”: %2.</source>
        <translation>تعذّر نسخ «⁨%1⁩»: %2.</translation>
    </message>
    <message>
        <source>Could not save the share.</source>
        <translation>تعذّر حفظ المشاركة.</translation>
    </message>
    <message>
        <source>Could not take in everything that was shared: %1.</source>
        <translation>تعذّر استلام كل ما تمت مشاركته: %1.</translation>
    </message>
</context>
<context>
    <name>ShareCommandLine</name>
    <message>
        <source>tovin-share [--text TEXT] [--clipboard] [ITEM...]</source>
        <extracomment>The command line&apos;s form; TEXT and ITEM as the help names them</extracomment>
        <translation>tovin-share [--text TEXT] [--clipboard] [ITEM...]</translation>
    </message>
    <message>
        <source>tovin-share: %1
usage: %2
Try &apos;tovin-share --help&apos; for more.
</source>
        <translation>tovin-share: %1
الاستخدام: %2
لمزيد من المعلومات نفّذ &apos;tovin-share --help&apos;.
</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>تتعذّر قراءته</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>الاستخدام: %1</translation>
    </message>
    <message>
        <source>
An ITEM that cannot be shared (gone, unreadable, or in a place such as sftp:
or smb: that is not a folder of this computer) is left out, and the sheet and
standard error say so. With nothing to share, the sheet says
&quot;Nothing to share.&quot; and Send queues the caption alone. Once the share is
queued, its id is printed on standard output.

Exit status: 0 when the share was queued, 1 when it was cancelled (Cancel,
Escape, or closing the window), 2 for a wrong command line or when there is
no display.
</source>
        <extracomment>After the options, in lines of no more than 80 columns; &quot;Nothing to share.&quot; as the sheet says it</extracomment>
        <translation>
يُترك كل ITEM تتعذّر مشاركته (لأنه لم يعد موجودًا، أو تتعذّر قراءته، أو لأنه
في مكان مثل sftp: أو smb: ليس مجلدًا على هذا الحاسوب)، وتذكر ذلك النافذة
ومجرى الخطأ القياسي. وإن لم يكن هناك ما يُشارك، تعرض النافذة «لا شيء
للمشاركة.» ويضع «إرسال» التعليق وحده في قائمة الانتظار. وبعد وضع المشاركة في
قائمة الانتظار، يُطبع معرّفها على المخرج القياسي.

حالة الخروج: 0 عند وضع المشاركة في قائمة الانتظار، و1 عند إلغائها («إلغاء» أو
Escape أو إغلاق النافذة)، و2 عند خطأ في سطر الأوامر أو عند عدم وجود شاشة.
</translation>
    </message>
    <message>
        <source>“%1”</source>
        <extracomment>A text given to share, named by its opening words</extracomment>
        <translation>«%1»</translation>
    </message>
    <message>
        <source>Could not share “%1”: %2.</source>
        <translation>تعذّرت مشاركة «%1»: %2.</translation>
    </message>
    <message>
        <source>it is at %1, not in a folder of this computer</source>
        <translation>إنه في %1، وليس في مجلد على هذا الحاسوب</translation>
    </message>
    <message>
        <source>Shares text, links, images and files with one of your tovin chats: pick the
chat, add a caption if you like, and press Send. The share is queued for the
tovin application.</source>
        <extracomment>In lines of no more than 80 columns</extracomment>
        <translation>يشارك النصوص والروابط والصور والملفات مع إحدى دردشاتك في tovin: اختر
الدردشة، وأضف تعليقًا إن شئت، ثم اضغط «إرسال». توضع المشاركة في قائمة
الانتظار لتطبيق tovin.</translation>
    </message>
    <message>
        <source>The text to share.</source>
        <translation>النص المراد مشاركته.</translation>
    </message>
    <message>
        <source>TEXT</source>
        <extracomment>The value of --text, as the command line&apos;s form names it</extracomment>
        <translation>TEXT</translation>
    </message>
    <message>
        <source>Share what the clipboard holds too: an image, else its URLs, else its text.</source>
        <translation>شارك محتوى الحافظة أيضًا: صورة، وإلا فعناوين URL فيها، وإلا فنصها.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>اعرض هذه المساعدة.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>اعرض الإصدار.</translation>
    </message>
    <message>
        <source>ITEM</source>
        <extracomment>One argument to share, as the command line&apos;s form names it</extracomment>
        <translation>ITEM</translation>
    </message>
    <message>
        <source>One attachment each, in order: a file or folder; a URL (a file: URL is a file); or - for standard input: an image (PNG, JPEG, GIF, WebP...), UTF-8 text, or else a file named after its type, such as shared.pdf.</source>
        <translation>مرفق واحد لكل ITEM، بالترتيب: ملف أو مجلد؛ أو عنوان URL (وعنوان file: ملف)؛ أو - للإدخال القياسي: صورة (PNG أو JPEG أو GIF أو WebP...)، أو نص UTF-8، وإلا فملف يُسمّى باسم نوعه، مثل shared.pdf.</translation>
    </message>
    <message>
        <source>[ITEM...]</source>
        <translation>[ITEM...]</translation>
    </message>
    <message>
        <source>--text can be given once</source>
        <translation>لا يمكن إعطاء --text إلا مرة واحدة</translation>
    </message>
    <message>
        <source>standard input (-) can be shared once</source>
        <translation>لا يمكن مشاركة الإدخال القياسي (-) إلا مرة واحدة</translation>
    </message>
    <message>
        <source>its name arrived garbled, and several files fit it</source>
        <translation>وصل اسمه مشوَّهًا، ويطابقه أكثر من ملف</translation>
    </message>
</context>
<context>
    <name>TovinShare</name>
    <message>
        <source>the session bus does not answer: going on without it, so tovin is not signalled and screen readers cannot follow the sheet</source>
        <translation>ناقل الجلسة لا يستجيب: يستمر العمل بدونه، لذا لن يُبلَّغ tovin ولن تتمكن قارئات الشاشة من متابعة النافذة</translation>
    </message>
</context>
<context>
    <name>tovin::ShareFlow</name>
    <message>
        <source>Could not reach tovin&apos;s shared folder.</source>
        <translation>تعذّر الوصول إلى مجلد tovin المشترك.</translation>
    </message>
</context>
<context>
    <name>tovin::ShareSheetModel</name>
    <message>
        <source>Text: %1</source>
        <translation>النص: ⁨%1⁩</translation>
    </message>
    <message>
        <source>URL: %1</source>
        <translation>الرابط: ⁨%1⁩</translation>
    </message>
    <message numerus="yes">
        <source>%n image(s)</source>
        <translation>
            <numerusform>لا صور</numerusform>
            <numerusform>صورة واحدة</numerusform>
            <numerusform>صورتان</numerusform>
            <numerusform>%Ln&#xa0;صور</numerusform>
            <numerusform>%Ln&#xa0;صورة</numerusform>
            <numerusform>%Ln&#xa0;صورة</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>لا ملفات</numerusform>
            <numerusform>ملف واحد</numerusform>
            <numerusform>ملفان</numerusform>
            <numerusform>%Ln&#xa0;ملفات</numerusform>
            <numerusform>%Ln&#xa0;ملفًا</numerusform>
            <numerusform>%Ln&#xa0;ملف</numerusform>
        </translation>
    </message>
    <message>
        <source>Nothing to share.</source>
        <translation>لا شيء للمشاركة.</translation>
    </message>
    <message>
        <source>Chat</source>
        <translation>الدردشة</translation>
    </message>
</context>
<context>
    <name>tovin::ShareViewController</name>
    <message>
        <source>Cancel</source>
        <translation>إلغاء</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>إرسال</translation>
    </message>
    <message>
        <source>Share with tovin</source>
        <translation>مشاركة عبر tovin</translation>
    </message>
    <message>
        <source>Search chats…</source>
        <translation>البحث في الدردشات…</translation>
    </message>
    <message>
        <source>Search chats</source>
        <translation>البحث في الدردشات</translation>
    </message>
    <message>
        <source>Chats</source>
        <translation>الدردشات</translation>
    </message>
    <message>
        <source>tovin has not shared its chats yet.</source>
        <translation>لم يُتِح tovin دردشاته بعد.</translation>
    </message>
    <message>
        <source>Add a caption…</source>
        <translation>إضافة تعليق…</translation>
    </message>
    <message>
        <source>Add a caption</source>
        <translation>إضافة تعليق</translation>
    </message>
    <message>
        <source>Sending</source>
        <translation>جارٍ الإرسال</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>Bytes written of all to write: 1.5 MB of 20 MB</extracomment>
        <translation>%1 من %2</translation>
    </message>
</context>
</TS>
